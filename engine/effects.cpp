#include "engine/effects.h"

#include <algorithm>
#include <cmath>

#include "engine/envelopes.h"
#include "engine/periods.h"
#include "engine/waveform.h"
#include "song/periods.h"

namespace moddeck {

namespace {

// S3M letters A..X to the effect numbers; index 0 is "no command".
constexpr int32_t kS3MEffectMap[25] = {
    kNoEffect,                                       // none
    kSpeedTempo, kPositionJump, kPatternBreak,       // A B C
    kVolumeSlide, kPortaDown, kPortaUp,              // D E F
    kTonePorta, kVibrato, kTremor,                   // G H I
    kArpeggio, kVibratoVolSlide, kTonePortaVolSlide, // J K L
    kNoEffect, kNoEffect, kSampleOffset,             // M N O
    kNoEffect, kMultiRetrigger, kTremolo,            // P Q R
    kS3MSpecial, kS3MTempo, kFineVibrato,            // S T U
    kSetGlobalVolume, kGlobalVolumeSlide,            // V W
    kS3MPanning,                                     // X
};

// Period limits of the slides.
constexpr int32_t kModMinPeriod = 58, kModMaxPeriod = 14919;
constexpr int32_t kS3MMinPeriod = 116, kS3MMaxPeriod = 59676;
constexpr int32_t kXMMinPeriod = 239, kXMMaxPeriod = 57976;
constexpr int32_t kXMLinearMinPeriod = 1, kXMLinearMaxPeriod = 7808;

// How a song's periods move: their limits and the step of one unit of
// slide. XM Amiga periods are four times finer than MOD ones (they step by
// 8), S3M ones twice (by 4, an extra-fine unit being 1); XM linear periods
// step by 4, 64 to the semitone.
struct PeriodScale {
    int32_t min, max, unit;
};

PeriodScale ScaleOf(const Mod& song, FileFormat kind) {
    if (kind == FileFormat::XM)
        return song.linearFreq ? PeriodScale{kXMLinearMinPeriod, kXMLinearMaxPeriod, 4}
                               : PeriodScale{kXMMinPeriod, kXMMaxPeriod, 8};
    return kind == FileFormat::S3M ? PeriodScale{kS3MMinPeriod, kS3MMaxPeriod, 4}
                                   : PeriodScale{kModMinPeriod, kModMaxPeriod, 2};
}

// A zero parameter repeats the last non-zero one.
int32_t Remembered(int32_t& memory, int32_t param) {
    if (param != 0) memory = param;
    return memory;
}

// MOD and XM volume slides: the high nibble slides up and wins over the
// low one, which slides down.
int32_t UpOrDown(int32_t param) {
    const int32_t x = (param >> 4) & 15, y = param & 15;
    return x != 0 ? x : -y;
}

// S3M F and E: FEy/EEy extra fine, FFy/EFy fine, anything else a normal slide.
void SetS3MSlide(int32_t param, int32_t& normal, int32_t& fine, int32_t& xfine) {
    int32_t x = param >> 4, y = param & 15;
    if (x == 0xE && y != 0) {
        xfine = y;
        normal = 0;
        fine = 0;
    } else if (x == 0xF && y != 0) {
        fine = y;
        normal = 0;
        xfine = 0;
    } else if (param != 0) {
        normal = param;
        fine = 0;
        xfine = 0;
    }
}

bool IsNoteDelay(FileFormat kind, const RowValues& row) {
    int32_t wanted = kind == FileFormat::S3M ? kS3MSpecial : kExtended;
    return row.effect == wanted && (row.param >> 4) == 0xD;
}

// S3M D, and the slide of K and L: D00 repeats the last one. DxF and DFy
// are fine slides (x up, y down) at tick 0 only; Dx0 and D0y slide on the
// ticks after the first, and on the first as well in songs that ask for
// fast slides. Both nibbles set otherwise do nothing.
void S3MVolumeSlide(Voice& v, int32_t param, int32_t tick, bool fastSlides) {
    param = Remembered(v.volslidemem, param);
    const int32_t x = param >> 4, y = param & 15;
    if (y == 0xF && x != 0) {
        if (tick == 0) v.volume += x;
    } else if (x == 0xF && y != 0) {
        if (tick == 0) v.volume -= y;
    } else if (tick > 0 || fastSlides) {
        if (y == 0) v.volume += x;
        else if (x == 0) v.volume -= y;
    }
}

bool FastS3MSlides(const Mod& song) { return (song.s3mFlags & 0x40) || song.s3mTracker == 0x1300; }

// E6y (S3M SBy): y = 0 marks the row the channel's loop starts at; the
// first E6y with y > 0 plays back to it y times. The jump happens at the
// end of the row, so that the other channels' row effects all run.
void PatternLoop(Player& p, Voice& v, int32_t y) {
    if (y == 0) {
        v.loopstart = p.raw;
        return;
    }
    if (v.loopcount == 0)
        v.loopcount = y;
    else
        v.loopcount--;
    if (v.loopcount > 0) p.raw_jump = v.loopstart;
}

// Retrigger volume changes of XM R and S3M Q, by the high nibble.
int32_t RetriggerVolume(int32_t volume, int32_t x) {
    switch (x) {
        case 1: case 2: case 3: case 4: case 5: return volume - (1 << (x - 1));
        case 6: return volume * 2 / 3;
        case 7: return volume / 2;
        case 9: case 10: case 11: case 12: case 13: return volume + (1 << (x - 9));
        case 14: return volume * 3 / 2;
        case 15: return volume * 2;
        default: return volume;
    }
}

// A tone portamento tick: the period moves towards the target by `step`.
int32_t TonePortaStep(int32_t P, int32_t target, int32_t step) {
    if (P < target) return std::min(P + step, target);
    if (P > target) return std::max(P - step, target);
    return P;
}

// The vibrato's offset for this tick: the waveform at its position, which
// moves on on every tick but a row's first. On that first tick a MOD plays
// the plain note; S3M and XM keep the offset. A depth of 1 is 1/128 of a
// period step (fine vibrato: a quarter of that).
int32_t VibratoOffset(Voice& v, int32_t tick, FileFormat kind, const PeriodScale& scale, int32_t depthScale = 1) {
    if (tick == 0 && kind == FileFormat::MOD) return 0;
    const int32_t w = Waveform(v.vibpos, v.vibdepth);
    if (tick > 0) v.vibpos = (v.vibpos + v.vibspeed) & 63;
    return scale.unit * (w / (128 * depthScale));
}

// XM volume column at tick 0: set volume and panning, fine slides,
// vibrato speed and depth, tone portamento speed.
void VolumeColumnRow(Voice& v, int32_t vol) {
    const int32_t x = vol & 15;
    switch (vol >> 4) {
        case 0x1: case 0x2: case 0x3: case 0x4: v.volume = vol - 0x10; break;
        case 0x5:
            if (vol == 0x50) v.volume = 64;
            break;
        case 0x8: v.volume -= x; break;
        case 0x9: v.volume += x; break;
        case 0xA: v.vibspeed = x; break;
        case 0xB:
            if (x != 0) v.vibdepth = x;
            break;
        case 0xC: v.panning = x << 4; break;
        case 0xF:
            if (x != 0) v.portaspeed = x << 4;
            break;
        default: break;
    }
}

}  // namespace

int32_t S3MEffect(int32_t letter) { return letter >= 1 && letter <= 24 ? kS3MEffectMap[letter] : kNoEffect; }

int32_t SlideOf(int32_t param) {
    int32_t x = (param >> 4) & 15, y = param & 15;
    if (y == 0 && x != 0) return x;
    if (x == 0 && y != 0) return -y;
    return 0;
}

bool IsTonePorta(FileFormat kind, const RowValues& row) {
    if (row.effect == kTonePorta || row.effect == kTonePortaVolSlide) return true;
    return kind == FileFormat::XM && (row.volume >> 4) == 0xF;
}

void KeyOff(Voice& v, const Mod& song) {
    v.keyoff = 1;
    const bool envelope = v.instrument >= 1 && v.instrument <= std::min(song.nbInstruments, kMaxInstruments) &&
                          (song.instruments[v.instrument].volType & 1);
    if (!envelope) v.volume = 0;
}

void ApplyRowEffect(Player& p, FileFormat kind, int c, const RowValues& row) {
    Voice& v = p.Voices[c];
    const int32_t param = row.param, x = param >> 4, y = param & 15;
    const bool s3m = kind == FileFormat::S3M, xm = kind == FileFormat::XM;
    switch (row.effect) {
        case kArpeggio:
            v.arpstep = 0;
            v.arpx = x;
            v.arpy = y;
            break;
        case kPortaUp:
            if (s3m)
                SetS3MSlide(param, v.portaup, v.fineportaup, v.xfineportaup);
            else if (param != 0)
                v.portaup = param;
            break;
        case kPortaDown:
            if (s3m)
                SetS3MSlide(param, v.portadown, v.fineportadown, v.xfineportadown);
            else if (param != 0)
                v.portadown = param;
            break;
        case kVibrato:
        case kFineVibrato:
            if (!s3m || param != 0) {
                if (y != 0) v.vibdepth = y;
                if (x != 0) v.vibspeed = x;
            }
            break;
        case kTremolo:
            if (y != 0) v.tremolodepth = y;
            if (x != 0) v.tremolospeed = x;
            break;
        case kSampleOffset:
            // Taken by the row's note; 900 repeats the last offset.
            if (param != 0) v.offset = param * 256;
            break;
        case kSpeedTempo:
            if (s3m) {
                if (param > 0) Speed(p) = param;
            } else if (param > 31) {
                SetTempo(p, param);
            } else {
                Speed(p) = param;
            }
            break;
        case kSetGlobalVolume:
            if (!s3m && !xm) break;
            if (xm || param <= 64) p.globalVolume = std::min(param, 64);
            break;
        case kGlobalVolumeSlide:
            if (kind != FileFormat::MOD && param != 0) p.globalVolumeSlide = x != 0 ? x : -y;
            break;
        case kEnvelopePosition:
            if (xm) v.volenvpos = v.panenvpos = param;
            break;
        case kS3MSpecial:
            if (!s3m) break;
            if (x == 0x8) p.pan[c] = 1.0f - y / 15.0f;
            if (x == 0xB) PatternLoop(p, v, y);
            if (x == 0xC) v.cuttick = y;
            if (x == 0xE && p.patterndelay == 0) p.patterndelay = y + 1;
            break;
        case kS3MTempo:
            if (s3m && param > 31) SetTempo(p, param);
            break;
        case kS3MPanning:
            // 0x00 left .. 0x80 right; 0xA4 (surround) and beyond: the centre.
            if (s3m) p.pan[c] = param <= 0x80 ? 1.0f - param / 128.0f : 0.5f;
            break;
        case kExtended:
            if (s3m) break;
            switch (x) {
                case 0x1:
                    if (kind == FileFormat::MOD) v.portaup = y;
                    break;
                case 0x2:
                    if (kind == FileFormat::MOD) v.portadown = y;
                    break;
                case 0x6: PatternLoop(p, v, y); break;
                case 0xA: v.finevolslide = xm ? Remembered(v.finevolupmem, y) : y; break;
                case 0xB: v.finevolslide = -(xm ? Remembered(v.finevoldownmem, y) : y); break;
                case 0xC: v.cuttick = y; break;
                case 0xE:
                    if (p.patterndelay == 0) p.patterndelay = y + 1;
                    break;
                default: break;
            }
            break;
        default: break;
    }
}

TickOutput ApplyTickEffects(Player& p, FileFormat kind, int c, const RowValues& row) {
    const Mod& song = p.SONG;
    Voice& v = p.Voices[c];
    const bool s3m = kind == FileFormat::S3M, xm = kind == FileFormat::XM, mod = kind == FileFormat::MOD;
    const bool linear = xm && song.linearFreq;
    const int32_t param = row.param, x = param >> 4, y = param & 15;
    const int32_t tick = p.ticks;

    if (v.cuttick != -1 && tick == v.cuttick) {
        v.volume = 0;
        v.cuttick = -1;
    }
    const int32_t volcol = xm ? row.volume : 0;
    if (xm && tick == 0) {
        // After the note, whose sample brings its own panning.
        VolumeColumnRow(v, volcol);
        if (row.effect == kSetPanning) v.panning = param;
        if (row.effect == kExtended && x == 0x8) v.panning = y << 4;
    }
    if (IsNoteDelay(kind, row)) {
        if (tick == 0) {
            v.delayvolume = v.volume;
            v.delayposition = v.position;
            v.delayperiod = v.period;
            v.volume = 0;
            v.delaytick = y;
        } else if (tick == v.delaytick) {
            v.volume = v.delayvolume;
            v.position = v.delayposition;
            v.period = v.delayperiod;
            v.delaytick = -1;
        }
    }
    if (xm && row.effect == kKeyOff && tick == param) KeyOff(v, song);

    TickOutput out{v.period, 0};
    if (!VoiceSample(song, kind, v)) return out;
    if (s3m && tick == 0 && row.volume != 255) v.volume = row.volume;

    const PeriodScale scale = ScaleOf(song, kind);
    const int32_t unit = scale.unit;
    int32_t P = v.period;
    int32_t offset = 0;    // vibrato, heard on this tick only
    int32_t heard = -1;    // an XM arpeggio note heard on this tick only
    switch (row.effect) {
        case kArpeggio:
            if (param != 0) {
                int32_t n = v.note + (v.arpstep == 0 ? 0 : v.arpstep == 1 ? v.arpx : v.arpy);
                if (xm)
                    heard = XMNotePeriod(linear, std::clamp(n, -128, 127), v.finetune);
                else
                    P = ClassicNotePeriod(song, kind, v, n);
                v.arpstep = v.arpstep >= 2 ? 0 : v.arpstep + 1;
            }
            break;
        case kPortaUp:
            if (s3m) {
                if (tick > 0) P -= unit * v.portaup;
                if (tick == 0) P -= unit * v.fineportaup + v.xfineportaup;
                P = std::max(P, kS3MMinPeriod);
            } else if (tick > 0) {
                P = std::max(P - unit * v.portaup, scale.min);
            }
            break;
        case kPortaDown:
            if (s3m) {
                if (tick > 0) P += unit * v.portadown;
                if (tick == 0) P += unit * v.fineportadown + v.xfineportadown;
                P = std::min(P, kS3MMaxPeriod);
            } else if (tick > 0) {
                P = std::min(P + unit * v.portadown, scale.max);
            }
            break;
        case kTonePorta:
        case kTonePortaVolSlide:
            if (tick > 0) P = TonePortaStep(P, v.portatarget, unit * v.portaspeed);
            break;
        case kVibrato:
        case kVibratoVolSlide:
            offset = VibratoOffset(v, tick, kind, scale);
            break;
        case kFineVibrato:
            offset = VibratoOffset(v, tick, kind, scale, 4);
            break;
        case kTremolo:
            if (tick > 0) {
                out.tremolo = Waveform(v.trempos, v.tremolodepth) / 64;
                v.trempos = (v.trempos + v.tremolospeed) & 63;
            }
            break;
        case kSetVolume:
            if (!s3m && tick == 0) v.volume = param;
            break;
        case kPanningSlide:
            if (xm && tick > 0) v.panning = std::clamp(v.panning + UpOrDown(Remembered(v.panslidemem, param)), 0, 255);
            break;
        case kMultiRetrigger:
            if (!mod) {
                // Counted from the note, across rows.
                const int32_t m = Remembered(v.retrigmem, param), interval = m & 15;
                const bool noteTick = tick == 0 && row.note >= 0;
                if (interval > 0 && !noteTick && ++v.retrigcount >= interval) {
                    v.retrigcount = 0;
                    v.position = 0;
                    v.volume = RetriggerVolume(v.volume, m >> 4);
                }
            }
            break;
        case kTremor:
            if (!mod) {
                // On for x ticks, off for y (XM: x + 1 and y + 1), over and over.
                const int32_t m = Remembered(v.tremormem, param);
                const int32_t on = xm ? (m >> 4) + 1 : std::max(m >> 4, 1);
                const int32_t off = xm ? (m & 15) + 1 : std::max(m & 15, 1);
                if (v.tremorcount % (on + off) >= on) out.tremolo = -64;
                v.tremorcount = (v.tremorcount + 1) % (on + off);
            }
            break;
        case kExtraFinePorta:
            if (xm && tick == 0) {
                const int32_t step = (unit / 4) * Remembered(v.xfineportamem, y);
                if (x == 1) P = std::max(P - step, scale.min);
                if (x == 2) P = std::min(P + step, scale.max);
            }
            break;
        case kExtended:
            if (s3m) break;
            if (x == 0x1) {
                if (tick == 0) P -= unit * (xm ? Remembered(v.fineportaupmem, y) : y);
                P = std::max(P, scale.min);
            } else if (x == 0x2) {
                if (tick == 0) P += unit * (xm ? Remembered(v.fineportadownmem, y) : y);
                P = std::min(P, scale.max);
            } else if (x == 0x5 && mod) {
                // Retunes the sample for the rest of playback, not the note playing.
                if (v.instrument > 0 && v.instrument < kSampleSlots)
                    p.sampleFinetune[v.instrument] = y >= 8 ? y - 16 : y;
            } else if (x == 0x9 && y > 0 && tick > 0 && tick % y == 0) {
                v.position = 0;  // retrigger every y ticks
            }
            break;
        default: break;
    }

    // XM volume column, per tick: slides, vibrato and tone portamento.
    if (xm && tick > 0) {
        const int32_t vx = volcol & 15;
        switch (volcol >> 4) {
            case 0x6: v.volume -= vx; break;
            case 0x7: v.volume += vx; break;
            case 0xD: v.panning = std::max(v.panning - vx, 0); break;
            case 0xE: v.panning = std::min(v.panning + vx, 255); break;
            case 0xF:
                if (row.effect != kTonePorta && row.effect != kTonePortaVolSlide)
                    P = TonePortaStep(P, v.portatarget, unit * v.portaspeed);
                break;
            default: break;
        }
    }
    if (xm && (volcol >> 4) == 0xB && row.effect != kVibrato && row.effect != kVibratoVolSlide)
        offset = VibratoOffset(v, tick, kind, scale);

    v.period = P;
    out.period = heard >= 0 ? heard : P + offset;
    if (xm && out.period > 0) out.period += AutoVibratoOffset(v, song);

    // Volume slides: MOD and XM on the ticks after the first (fine slides
    // on the first); S3M by its own rules.
    if (s3m) {
        if (row.effect == kVolumeSlide || row.effect == kVibratoVolSlide || row.effect == kTonePortaVolSlide)
            S3MVolumeSlide(v, param, tick, FastS3MSlides(song));
    } else {
        if (row.effect == kVolumeSlide || row.effect == kVibratoVolSlide || row.effect == kTonePortaVolSlide)
            v.volslide = UpOrDown(xm ? Remembered(v.volslidemem, param) : param);
        v.volume += tick == 0 ? v.finevolslide : v.volslide;
    }
    v.volume = std::clamp(v.volume, 0, 63);

    if (tick > 0 && kind != FileFormat::MOD && row.effect == kGlobalVolumeSlide)
        p.globalVolume = std::clamp(p.globalVolume + p.globalVolumeSlide, 0, 64);
    return out;
}

}  // namespace moddeck
