#include "engine/effects.h"

#include <algorithm>

#include "engine/periods.h"
#include "engine/sequencer.h"

namespace moddeck {

namespace {

// S3M letters A..W to the common numbers; index 0 is "no command".
constexpr int32_t kS3MEffectMap[24] = {
    kNoEffect,                                       // none
    kSpeedTempo, kPositionJump, kPatternBreak,       // A B C
    kVolumeSlide, kPortaDown, kPortaUp,              // D E F
    kTonePorta, kVibrato, kNoEffect,                 // G H I
    kArpeggio, kVibratoVolSlide, kTonePortaVolSlide, // J K L
    kNoEffect, kNoEffect, kSampleOffset,             // M N O
    kNoEffect, kNoEffect, kNoEffect,                 // P Q R
    kS3MSpecial, kS3MTempo, kNoEffect,               // S T U
    kSetGlobalVolume, kGlobalVolumeSlide,            // V W
};

// One half of a sine, 32 steps; the second half of the wave is its negative.
constexpr int32_t kSineHalf[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                                   224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                                   212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

// Period limits of the slides.
constexpr int32_t kModMinPeriod = 58, kModMaxPeriod = 14919;
constexpr int32_t kS3MMinPeriod = 58, kS3MMaxPeriod = 29838;
constexpr int32_t kXMMinPeriod = 239, kXMMaxPeriod = 57976;

int32_t MinPeriod(FileFormat kind) { return kind == FileFormat::XM ? kXMMinPeriod : kModMinPeriod; }
int32_t MaxPeriod(FileFormat kind) {
    return kind == FileFormat::XM ? kXMMaxPeriod : kind == FileFormat::S3M ? kS3MMaxPeriod : kModMaxPeriod;
}
// XM periods are four times finer than MOD and S3M ones: their slides step by 8.
int32_t SlideUnit(FileFormat kind) { return kind == FileFormat::XM ? 8 : 2; }

// S3M F and E: FEy/EEy extra fine, FFy/EFy fine, anything else a normal slide.
void SetS3MSlide(int32_t param, int32_t& normal, int32_t& fine, int32_t& xfine, int32_t& finecount) {
    int32_t x = param >> 4, y = param & 15;
    if (x == 0xE && y != 0) {
        finecount = 0;
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

// S3M D: the slide is remembered from row to row, so D00 goes on with it.
void S3MVolumeSlide(Voice& v, int32_t param, int32_t ticks) {
    int32_t x = param >> 4, y = param & 15;
    if (param == 0) {
        v.volume += v.volslide;
    } else if (y == 0) {
        v.volslide = x;
        v.volume += v.volslide;
    } else if (x == 0) {
        v.volslide = -y;
        v.volume += v.volslide;
    } else if (x == 0xF) {
        v.finevolslide = -y;
        if (ticks == 0) v.volume += v.finevolslide;
        v.volume += v.volslide;
    } else if (y == 0xF) {
        v.finevolslide = x;
        if (ticks == 0) v.volume += x;
        v.volume += v.volslide;
    } else {
        v.volslide = 0;
    }
}

}  // namespace

int32_t S3MEffect(int32_t letter) { return letter >= 1 && letter <= 23 ? kS3MEffectMap[letter] : kNoEffect; }

int32_t Waveform(int32_t pos, int32_t depth) {
    int32_t q = pos & 63;
    return q < 32 ? depth * kSineHalf[q] : -(depth * kSineHalf[q - 32]);
}

int32_t SlideOf(int32_t param) {
    int32_t x = (param >> 4) & 15, y = param & 15;
    if (y == 0 && x != 0) return x;
    if (x == 0 && y != 0) return -y;
    return 0;
}

bool ApplyRowEffect(Player& p, Mod& song, FileFormat kind, int c, const RowValues& row) {
    Voice& v = p.Voices[c];
    const int32_t param = row.param, x = param >> 4, y = param & 15;
    const bool s3m = kind == FileFormat::S3M;
    const bool hasNote = row.note != -1;
    switch (row.effect) {
        case kArpeggio:
            v.arpstep = 0;
            v.arpx = x;
            v.arpy = y;
            break;
        case kPortaUp:
            if (s3m)
                SetS3MSlide(param, v.portaup, v.fineportaup, v.xfineportaup, v.finecount);
            else if (param != 0)
                v.portaup = param;
            break;
        case kPortaDown:
            if (s3m)
                SetS3MSlide(param, v.portadown, v.fineportadown, v.xfineportadown, v.finecount);
            else if (param != 0)
                v.portadown = param;
            break;
        case kVibrato:
            if (!s3m || param != 0) {
                if (y != 0) v.vibdepth = y;
                if (x != 0) v.vibspeed = x;
            }
            if (hasNote) v.vibpos = 0;
            break;
        case kVibratoVolSlide:
            if (!s3m || param != 0) v.volslide = SlideOf(param);
            break;
        case kTremolo:
            if (y != 0) v.tremolodepth = y;
            if (x != 0) v.tremolospeed = x;
            if (hasNote) v.trempos = 0;
            break;
        case kSetPanning:
            if (kind == FileFormat::XM) p.pan[c] = param * 0.003921569;
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
            if (kind != FileFormat::MOD) song.globalVolume = param;
            break;
        case kGlobalVolumeSlide:
            if (kind != FileFormat::MOD && param != 0) song.globalVolumeSlide = x != 0 ? x : -y;
            break;
        case kS3MSpecial:
            if (!s3m) break;
            if (x == 0x8) p.pan[c] = y * 0.06666667;
            if (x == 0xC) v.cuttick = y;
            if (x == 0xE && p.patterndelay == 0) p.patterndelay = y + 1;
            break;
        case kS3MTempo:
            if (s3m && param > 31) SetTempo(p, param);
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
                case 0x6:
                    // Pattern loop: E60 marks the row, E6x plays back to it x times.
                    if (y == 0) {
                        p.raw_jump = p.raw;
                    } else {
                        if (p.looppattern == 0)
                            p.looppattern = y;
                        else
                            p.looppattern--;
                        if (p.looppattern > 0) {
                            p.raw = p.raw_jump;
                            return true;
                        }
                    }
                    break;
                case 0x8:
                    if (kind == FileFormat::XM) p.pan[c] = y * 0.0625;
                    break;
                case 0xA: v.finevolslide = y; break;
                case 0xB: v.finevolslide = -y; break;
                case 0xC: v.cuttick = y; break;
                case 0xE:
                    if (p.patterndelay == 0) p.patterndelay = y + 1;
                    break;
                default: break;
            }
            break;
        default: break;
    }
    return false;
}

TickOutput ApplyTickEffects(Player& p, Mod& song, FileFormat kind, int c, const RowValues& row) {
    Voice& v = p.Voices[c];
    const bool s3m = kind == FileFormat::S3M, xm = kind == FileFormat::XM;
    const int32_t param = row.param, x = param >> 4, y = param & 15;

    if (v.cuttick != -1 && p.ticks == v.cuttick) {
        v.volume = 0;
        v.cuttick = -1;
        if (s3m) v.volslide = v.finevolslide = 0;
    }
    if (xm && row.volume >= 0x10 && row.volume <= 0x50) v.volume = row.volume - 0x10;
    if (IsNoteDelay(kind, row)) {
        if (p.ticks == 0) {
            v.delayvolume = v.volume;
            v.delayposition = v.position;
            v.delayperiod = v.period;
            v.volume = 0;
            v.delaytick = y;
        } else if (p.ticks == v.delaytick) {
            v.volume = v.delayvolume;
            v.position = v.delayposition;
            v.period = v.delayperiod;
            v.delaytick = -1;
        }
    }
    TickOutput out{v.period, 0};
    if (!VoiceSample(song, kind, v)) return out;
    if (s3m && row.volume != 255) v.volume = row.volume;

    int32_t P = v.period;
    bool ownPeriod = true;  // false: this tick is heard at `heard`
    int32_t heard = 0;
    const int32_t unit = SlideUnit(kind);
    switch (row.effect) {
        case kArpeggio:
            if (param != 0) {
                int32_t n = v.note + (v.arpstep == 0 ? 0 : v.arpstep == 1 ? v.arpx : v.arpy);
                if (xm) {
                    heard = XMPeriod(std::clamp(n, -128, 127), v.finetune);
                    ownPeriod = false;
                } else {
                    P = PeriodAt(s3m ? PeriodsS3M : Periods, v.finetune, n);
                }
                v.arpstep = v.arpstep >= 2 ? 0 : v.arpstep + 1;
            }
            break;
        case kPortaUp:
            if (s3m) {
                if (p.ticks > 0) P -= 2 * v.portaup;
                if (p.ticks == 0) P -= v.fineportaup;
                if ((v.finecount & 3) == 0) P -= v.xfineportaup;
                v.finecount = (v.finecount + 1) & 3;
                P = std::max(P, kS3MMinPeriod);
            } else if (p.ticks > 0) {
                P = std::max(P - unit * v.portaup, MinPeriod(kind));
            }
            break;
        case kPortaDown:
            if (s3m) {
                if (p.ticks > 0) P += 2 * v.portadown;
                if (p.ticks == 0) P += v.fineportadown;
                if ((v.finecount & 3) == 0) P += v.xfineportadown;
                v.finecount = (v.finecount + 1) & 3;
                P = std::min(P, kS3MMaxPeriod);
            } else if (p.ticks > 0) {
                P = std::min(P + unit * v.portadown, MaxPeriod(kind));
            }
            break;
        case kTonePorta:
        case kTonePortaVolSlide:
            if (p.ticks > 0) {
                int32_t step = unit * v.portaspeed;
                if (P < v.portatarget)
                    P = std::min(P + step, v.portatarget);
                else if (P > v.portatarget)
                    P = std::max(P - step, v.portatarget);
                if (s3m && row.effect == kTonePortaVolSlide) v.volume += v.volslide;
            }
            break;
        case kVibrato:
        case kVibratoVolSlide: {
            int32_t w = Waveform(v.vibpos, v.vibdepth);
            heard = xm ? P + 8 * (w / 128) : P + 2 * (w / 256);
            ownPeriod = false;
            v.vibpos = (v.vibpos + v.vibspeed) & 63;
            if (s3m && row.effect == kVibratoVolSlide && p.ticks > 0) v.volume += v.volslide;
            break;
        }
        case kTremolo:
            out.tremolo = Waveform(v.trempos, v.tremolodepth) / 64;
            v.trempos = (v.trempos + v.tremolospeed) & 63;
            break;
        case kVolumeSlide:
            if (s3m)
                S3MVolumeSlide(v, param, p.ticks);
            else
                v.volslide = SlideOf(param);
            break;
        case kSetVolume:
            if (!s3m) v.volume = param;
            break;
        case kExtended:
            if (s3m) break;
            if (x == 0x1) {
                if (p.ticks == 0) P -= unit * y;
                P = std::max(P, MinPeriod(kind));
            } else if (x == 0x2) {
                if (p.ticks == 0) P += unit * y;
                P = std::min(P, MaxPeriod(kind));
            } else if (x == 0x5 && kind == FileFormat::MOD) {
                // Changes the sample in the song itself, until it is loaded again.
                if (v.instrument > 0 && v.instrument < kSampleSlots)
                    song.samples[v.instrument].finetune = y >= 8 ? y - 16 : y;
            } else if (x == 0x8 && xm) {
                p.pan[c] = y * 0.0625;
            }
            break;
        default: break;
    }
    v.period = P;
    out.period = ownPeriod ? P : heard;

    if (!s3m) {
        if (p.ticks == 0) {
            v.volume += v.finevolslide;
            if (kind == FileFormat::MOD && row.effect == kVolumeSlide) v.volume += v.volslide;
        } else {
            v.volume += v.volslide;
        }
    }
    v.volume = std::clamp(v.volume, 0, 63);

    if (p.ticks > 0 && kind != FileFormat::MOD && row.effect == kGlobalVolumeSlide)
        song.globalVolume = std::clamp(song.globalVolume + song.globalVolumeSlide, 0, 64);
    return out;
}

}  // namespace moddeck
