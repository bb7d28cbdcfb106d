#include "engine/effects.h"

#include <algorithm>

#include "engine/envelopes.h"
#include "engine/mixer.h"
#include "engine/periods.h"
#include "engine/waveform.h"
#include "song/periods.h"

namespace moddeck {

namespace {

// ---- What the effects share.

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

PeriodScale ScaleOf(const Mod& song) {
    switch (song.behaviour.periods) {
        case PeriodSystem::XM:
            return song.linearFreq ? PeriodScale{kXMLinearMinPeriod, kXMLinearMaxPeriod, 4}
                                   : PeriodScale{kXMMinPeriod, kXMMaxPeriod, 8};
        case PeriodSystem::S3M: return PeriodScale{kS3MMinPeriod, kS3MMaxPeriod, 4};
        case PeriodSystem::Amiga: break;
    }
    return PeriodScale{kModMinPeriod, kModMaxPeriod, 2};
}

// What a row part works on: channel c's voice and its cell's parameter.
struct EffectRow {
    Player& p;
    Voice& v;
    int c;
    int32_t param, x, y;  // the parameter and its nibbles
    const Behaviour& rules;
};

// What a tick part works on, and what it leaves for the mixer.
struct EffectTick {
    Player& p;
    Voice& v;
    const RowValues& row;
    int32_t param, x, y;
    int32_t tick;
    const Behaviour& rules;
    PeriodScale scale;
    int32_t period = 0;   // the voice's period, which the slides move
    int32_t vibrato = 0;  // heard on this tick only
    int32_t heard = -1;   // an arpeggio note heard on this tick only
    int32_t tremolo = 0;  // volume offset of this tick
};

// A zero parameter repeats the last non-zero one.
int32_t Remembered(int32_t& memory, int32_t param) {
    if (param != 0) memory = param;
    return memory;
}

// The volume and panning slides: the high nibble slides up and wins over
// the low one, which slides down.
int32_t UpOrDown(int32_t param) {
    const int32_t x = (param >> 4) & 15, y = param & 15;
    return x != 0 ? x : -y;
}

// ---- Arpeggio.

void ArpeggioRow(EffectRow& e) {
    e.v.arpstep = 0;
    e.v.arpx = e.x;
    e.v.arpy = e.y;
}

// The note and its two neighbours in turn, tick by tick. An XM note is
// heard for the tick only; a MOD or S3M one becomes the voice's period.
void ArpeggioTick(EffectTick& e) {
    Voice& v = e.v;
    if (e.param == 0) return;
    const int32_t n = v.note + (v.arpstep == 0 ? 0 : v.arpstep == 1 ? v.arpx : v.arpy);
    if (e.rules.periods == PeriodSystem::XM)
        e.heard = XMNotePeriod(e.p.SONG.linearFreq, std::clamp(n, -128, 127), v.finetune);
    else
        e.period = ClassicNotePeriod(e.p.SONG, v, n);
    v.arpstep = v.arpstep >= 2 ? 0 : v.arpstep + 1;
}

// ---- Portamento: up and down (dir -1 and +1), fine, extra fine, to a note.

// The period kept within the song's limits on the side it moves to.
int32_t Bounded(const EffectTick& e, int32_t dir, int32_t period) {
    return dir < 0 ? std::max(period, e.scale.min) : std::min(period, e.scale.max);
}

// Fine slides in the parameter: xEy extra fine, xFy fine, anything else a
// normal slide; a zero parameter keeps the last.
void SetSlideWithFineNibble(int32_t param, int32_t& normal, int32_t& fine, int32_t& xfine) {
    const int32_t x = param >> 4, y = param & 15;
    if (x == 0xE && y != 0) {
        xfine = y;
        normal = fine = 0;
    } else if (x == 0xF && y != 0) {
        fine = y;
        normal = xfine = 0;
    } else if (param != 0) {
        normal = param;
        fine = xfine = 0;
    }
}

void PortaRow(EffectRow& e, int32_t& speed, int32_t& fine, int32_t& xfine) {
    if (e.rules.fineSlidesInParameter)
        SetSlideWithFineNibble(e.param, speed, fine, xfine);
    else if (e.param != 0)
        speed = e.param;
}
void PortaUpRow(EffectRow& e) { PortaRow(e, e.v.portaup, e.v.fineportaup, e.v.xfineportaup); }
void PortaDownRow(EffectRow& e) { PortaRow(e, e.v.portadown, e.v.fineportadown, e.v.xfineportadown); }

// On the ticks after the first; fine and extra fine on the first.
void PortaTick(EffectTick& e, int32_t dir, int32_t speed, int32_t fine, int32_t xfine) {
    if (e.rules.fineSlidesInParameter) {
        if (e.tick > 0) e.period += dir * e.scale.unit * speed;
        if (e.tick == 0) e.period += dir * (e.scale.unit * fine + xfine);
        e.period = Bounded(e, dir, e.period);
    } else if (e.tick > 0) {
        e.period = Bounded(e, dir, e.period + dir * e.scale.unit * speed);
    }
}
void PortaUpTick(EffectTick& e) { PortaTick(e, -1, e.v.portaup, e.v.fineportaup, e.v.xfineportaup); }
void PortaDownTick(EffectTick& e) { PortaTick(e, +1, e.v.portadown, e.v.fineportadown, e.v.xfineportadown); }

// A MOD fine slide is also the speed of the slides to come.
void FinePortaUpRow(EffectRow& e) {
    if (!e.rules.slidesRemember) e.v.portaup = e.y;
}
void FinePortaDownRow(EffectRow& e) {
    if (!e.rules.slidesRemember) e.v.portadown = e.y;
}

void FinePortaTick(EffectTick& e, int32_t dir, int32_t& memory) {
    if (e.tick == 0) e.period += dir * e.scale.unit * (e.rules.slidesRemember ? Remembered(memory, e.y) : e.y);
    e.period = Bounded(e, dir, e.period);
}
void FinePortaUpTick(EffectTick& e) { FinePortaTick(e, -1, e.v.fineportaupmem); }
void FinePortaDownTick(EffectTick& e) { FinePortaTick(e, +1, e.v.fineportadownmem); }

// 1y up, 2y down, once.
void ExtraFinePortaTick(EffectTick& e) {
    if (e.tick != 0) return;
    const int32_t step = (e.scale.unit / 4) * Remembered(e.v.xfineportamem, e.y);
    if (e.x == 1) e.period = Bounded(e, -1, e.period - step);
    if (e.x == 2) e.period = Bounded(e, +1, e.period + step);
}

// The speed is taken before the row's note, which sets the target; 0 keeps it.
void TakeTonePortaSpeed(Voice& v, int32_t speed) {
    if (speed != 0) v.portaspeed = speed;
}
void TonePortaRow(EffectRow& e) { TakeTonePortaSpeed(e.v, e.param); }

// The period moves towards the target by the speed, on the ticks after the first.
void TonePortaTick(EffectTick& e) {
    if (e.tick == 0) return;
    const int32_t step = e.scale.unit * e.v.portaspeed, target = e.v.portatarget;
    if (e.period < target) e.period = std::min(e.period + step, target);
    else if (e.period > target) e.period = std::max(e.period - step, target);
}

// ---- Vibrato and tremolo.

// A zero speed or depth keeps the last.
void TakeVibrato(Voice& v, int32_t speed, int32_t depth) {
    if (depth != 0) v.vibdepth = depth;
    if (speed != 0) v.vibspeed = speed;
}
void VibratoRow(EffectRow& e) { TakeVibrato(e.v, e.x, e.y); }

// The waveform at its position, which moves on on every tick but a row's
// first; there the vibrato rests when the song says so. A depth of 1 is
// 1/128 of a period step (fine vibrato: a quarter of that).
int32_t VibratoOffset(EffectTick& e, int32_t depthScale) {
    Voice& v = e.v;
    if (e.tick == 0 && e.rules.vibratoRestsOnFirstTick) return 0;
    const int32_t w = Waveform(v.vibpos, v.vibdepth);
    if (e.tick > 0) v.vibpos = (v.vibpos + v.vibspeed) & 63;
    return e.scale.unit * (w / (128 * depthScale));
}
void VibratoTick(EffectTick& e) { e.vibrato = VibratoOffset(e, 1); }
void FineVibratoTick(EffectTick& e) { e.vibrato = VibratoOffset(e, 4); }

void TremoloRow(EffectRow& e) {
    if (e.y != 0) e.v.tremolodepth = e.y;
    if (e.x != 0) e.v.tremolospeed = e.x;
}

void TremoloTick(EffectTick& e) {
    if (e.tick == 0) return;
    e.tremolo = Waveform(e.v.trempos, e.v.tremolodepth) / 64;
    e.v.trempos = (e.v.trempos + e.v.tremolospeed) & 63;
}

// On for x ticks, off for y (or x + 1 and y + 1), over and over; each phase
// takes its length from the parameter as it starts. The count goes on
// across rows, on every tick or, where the trackers write the volume, on
// the ticks after the first (the first keeps the phase the last row left).
void TremorTick(EffectTick& e) {
    Voice& v = e.v;
    const bool writes = e.rules.tremorWritesVolume;
    if (e.tick == 0 && writes) return;
    const int32_t m = Remembered(v.tremormem, e.param);
    const bool fromZero = e.rules.tremorCountsFromZero;
    const int32_t on = fromZero ? (m >> 4) + 1 : std::max(m >> 4, 1);
    const int32_t off = fromZero ? (m & 15) + 1 : std::max(m & 15, 1);
    if (--v.tremorcount < 0) {
        v.tremorphase = v.tremorphase == kTremorOn ? kTremorOff : kTremorOn;
        v.tremorcount = (v.tremorphase == kTremorOn ? on : off) - 1;
    }
    if (v.tremorphase == kTremorOff && !writes) e.tremolo = -64;
}

// ---- Volume.

// Fine slides in the parameter: D00 repeats the last one. DxF and DFy are
// fine slides (x up, y down) at tick 0 only; Dx0 and D0y slide on the ticks
// after the first, and on the first as well when the song says so. Both
// nibbles set otherwise do nothing.
void SlideWithFineNibble(EffectTick& e) {
    Voice& v = e.v;
    const int32_t param = Remembered(v.volslidemem, e.param), x = param >> 4, y = param & 15;
    if (y == 0xF && x != 0) {
        if (e.tick == 0) v.volume += x;
    } else if (x == 0xF && y != 0) {
        if (e.tick == 0) v.volume -= y;
    } else if (e.tick > 0 || e.rules.volumeSlidesOnFirstTick) {
        if (y == 0) v.volume += x;
        else if (x == 0) v.volume -= y;
    }
}

// The volume and panning slides on the ticks after the first.
void SlideVolume(EffectTick& e, int32_t slide) {
    if (e.tick > 0) e.v.volume += slide;
}
void SlidePanning(EffectTick& e, int32_t slide) {
    if (e.tick > 0) e.v.panning = std::clamp(e.v.panning + slide, 0, 255);
}

void VolumeSlideTick(EffectTick& e) {
    if (e.rules.fineSlidesInParameter) return SlideWithFineNibble(e);
    SlideVolume(e, UpOrDown(e.rules.slidesRemember ? Remembered(e.v.volslidemem, e.param) : e.param));
}

void TonePortaVolumeSlideTick(EffectTick& e) {
    TonePortaTick(e);
    VolumeSlideTick(e);
}
void VibratoVolumeSlideTick(EffectTick& e) {
    VibratoTick(e);
    VolumeSlideTick(e);
}

void FineVolumeRow(EffectRow& e, int32_t& memory) { memory = e.rules.slidesRemember ? Remembered(memory, e.y) : e.y; }
void FineVolumeUpRow(EffectRow& e) { FineVolumeRow(e, e.v.finevolupmem); }
void FineVolumeDownRow(EffectRow& e) { FineVolumeRow(e, e.v.finevoldownmem); }
void FineVolumeUpTick(EffectTick& e) {
    if (e.tick == 0) e.v.volume += e.v.finevolupmem;
}
void FineVolumeDownTick(EffectTick& e) {
    if (e.tick == 0) e.v.volume -= e.v.finevoldownmem;
}

void SetVolumeTick(EffectTick& e) {
    if (e.tick == 0) NoteTakesVolume(e.v, e.row);
}

void SetGlobalVolumeRow(EffectRow& e) { e.p.globalVolume = std::min(e.param, 64); }

void GlobalVolumeSlideRow(EffectRow& e) {
    if (e.param != 0) e.p.globalVolumeSlide = e.x != 0 ? e.x : -e.y;
}
void GlobalVolumeSlideTick(EffectTick& e) {
    if (e.tick > 0) e.p.globalVolume = std::clamp(e.p.globalVolume + e.p.globalVolumeSlide, 0, 64);
}

// ---- Panning.

// The voice's own panning, set on tick 0 after the note's sample brings its own.
void PanningEarly(EffectTick& e) {
    if (e.tick == 0) e.v.panning = e.param;
}

void ChannelPanningRow(EffectRow& e) {
    // 0xA4 (surround) and beyond: the centre.
    e.p.pan[e.c] = e.param <= 0x80 ? 1.0f - e.param / 128.0f : 0.5f;
}
void ChannelPanningCoarseRow(EffectRow& e) { e.p.pan[e.c] = 1.0f - e.param / 15.0f; }

void PanningSlideTick(EffectTick& e) { SlidePanning(e, UpOrDown(Remembered(e.v.panslidemem, e.param))); }

// ---- Sample offset, retriggers, cut, key off.

// Taken by the row's note (NoteTakesOffset); 900 repeats the last offset.
void SampleOffsetRow(EffectRow& e) {
    if (e.param != 0) e.v.offset = e.param * 256;
}

// Volume changes of the multi retrigger, by the high nibble.
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

// Counted from the note, across rows.
void MultiRetriggerTick(EffectTick& e) {
    Voice& v = e.v;
    const int32_t m = Remembered(v.retrigmem, e.param), interval = m & 15;
    const bool noteTick = e.tick == 0 && e.row.note >= 0;
    if (interval > 0 && !noteTick && ++v.retrigcount >= interval) {
        v.retrigcount = 0;
        v.position = 0;
        v.volume = RetriggerVolume(v.volume, m >> 4);
    }
}

void RetriggerTick(EffectTick& e) {
    if (e.param > 0 && e.tick > 0 && e.tick % e.param == 0) e.v.position = 0;
}

void NoteCutRow(EffectRow& e) { e.v.cuttick = e.param; }

void KeyOffEarly(EffectTick& e) {
    if (e.tick == e.param) KeyOff(e.v, e.p.SONG);
}

void EnvelopePositionRow(EffectRow& e) { e.v.volenvpos = e.v.panenvpos = e.param; }

// Retunes the sample for the rest of playback, not the note playing.
void SetFinetuneTick(EffectTick& e) {
    const int32_t ins = e.v.instrument;
    if (ins > 0 && ins < kSampleSlots) e.p.sampleFinetune[ins] = e.param >= 8 ? e.param - 16 : e.param;
}

// ---- Position and speed.

// y = 0 marks the row the channel's loop starts at; the first loop with
// y > 0 plays back to it y times. The jump happens at the end of the row,
// so that the other channels' row effects all run.
void PatternLoopRow(EffectRow& e) {
    Voice& v = e.v;
    if (e.param == 0) {
        v.loopstart = e.p.raw;
        return;
    }
    if (v.loopcount == 0)
        v.loopcount = e.param;
    else
        v.loopcount--;
    if (v.loopcount > 0) e.p.raw_jump = v.loopstart;
}

void PatternDelayRow(EffectRow& e) {
    if (e.p.patterndelay == 0) e.p.patterndelay = e.param + 1;
}

void SetSpeedRow(EffectRow& e) { Speed(e.p) = e.param; }
void SetTempoRow(EffectRow& e) { SetTempo(e.p, e.param); }

// ---- The table: each effect's parts. Position jump and pattern break are
// taken at the end of the row (engine/sequencer.cpp).

struct EffectParts {
    void (*row)(EffectRow&) = nullptr;
    void (*early)(EffectTick&) = nullptr;  // before the voice's sample is looked at
    void (*tick)(EffectTick&) = nullptr;
};

EffectParts PartsOf(Effect effect) {
    switch (effect) {
        case Effect::Arpeggio: return {ArpeggioRow, nullptr, ArpeggioTick};
        case Effect::PortaUp: return {PortaUpRow, nullptr, PortaUpTick};
        case Effect::PortaDown: return {PortaDownRow, nullptr, PortaDownTick};
        case Effect::FinePortaUp: return {FinePortaUpRow, nullptr, FinePortaUpTick};
        case Effect::FinePortaDown: return {FinePortaDownRow, nullptr, FinePortaDownTick};
        case Effect::ExtraFinePorta: return {nullptr, nullptr, ExtraFinePortaTick};
        case Effect::TonePorta: return {TonePortaRow, nullptr, TonePortaTick};
        case Effect::TonePortaVolumeSlide: return {nullptr, nullptr, TonePortaVolumeSlideTick};
        case Effect::Vibrato: return {VibratoRow, nullptr, VibratoTick};
        case Effect::FineVibrato: return {VibratoRow, nullptr, FineVibratoTick};
        case Effect::VibratoVolumeSlide: return {nullptr, nullptr, VibratoVolumeSlideTick};
        case Effect::Tremolo: return {TremoloRow, nullptr, TremoloTick};
        case Effect::Tremor: return {nullptr, nullptr, TremorTick};
        case Effect::Panning: return {nullptr, PanningEarly, nullptr};
        case Effect::ChannelPanning: return {ChannelPanningRow, nullptr, nullptr};
        case Effect::ChannelPanningCoarse: return {ChannelPanningCoarseRow, nullptr, nullptr};
        case Effect::SampleOffset: return {SampleOffsetRow};
        case Effect::VolumeSlide: return {nullptr, nullptr, VolumeSlideTick};
        case Effect::FineVolumeUp: return {FineVolumeUpRow, nullptr, FineVolumeUpTick};
        case Effect::FineVolumeDown: return {FineVolumeDownRow, nullptr, FineVolumeDownTick};
        case Effect::SetVolume: return {nullptr, nullptr, SetVolumeTick};
        case Effect::PatternLoop: return {PatternLoopRow};
        case Effect::PatternDelay: return {PatternDelayRow};
        case Effect::SetSpeed: return {SetSpeedRow};
        case Effect::SetTempo: return {SetTempoRow};
        case Effect::SetGlobalVolume: return {SetGlobalVolumeRow};
        case Effect::GlobalVolumeSlide: return {GlobalVolumeSlideRow, nullptr, GlobalVolumeSlideTick};
        case Effect::KeyOff: return {nullptr, KeyOffEarly, nullptr};
        case Effect::EnvelopePosition: return {EnvelopePositionRow};
        case Effect::PanningSlide: return {nullptr, nullptr, PanningSlideTick};
        case Effect::MultiRetrigger: return {nullptr, nullptr, MultiRetriggerTick};
        case Effect::Retrigger: return {nullptr, nullptr, RetriggerTick};
        case Effect::NoteCut: return {NoteCutRow};
        case Effect::SetFinetune: return {nullptr, nullptr, SetFinetuneTick};
        // A note delay moves the row's note (engine/sequencer.cpp).
        case Effect::None: case Effect::PositionJump: case Effect::PatternBreak: case Effect::NoteDelay:
        case Effect::Count: break;
    }
    return {};
}

// ---- The volume column: its own memory-less slides, the vibrato and tone
// portamento of the effects.

// On the row's first tick: the volumes, panning, vibrato and tone
// portamento speeds it sets.
void VolumeColumnRow(Voice& v, const RowValues& row) {
    const int32_t param = row.volumeParam;
    switch (row.volumeEffect) {
        case VolumeEffect::SetVolume: v.volume = param; break;
        case VolumeEffect::FineSlideDown: v.volume -= param; break;
        case VolumeEffect::FineSlideUp: v.volume += param; break;
        case VolumeEffect::VibratoSpeed: v.vibspeed = param; break;
        case VolumeEffect::Vibrato: TakeVibrato(v, 0, param); break;
        case VolumeEffect::Panning: v.panning = param; break;
        case VolumeEffect::TonePorta: TakeTonePortaSpeed(v, param); break;
        default: break;
    }
}

// After the effect's tick: the slides, and the tone portamento and vibrato
// unless the effect already plays its own.
void VolumeColumnTick(EffectTick& e) {
    const int32_t param = e.row.volumeParam;
    const Effect effect = e.row.effect;
    switch (e.row.volumeEffect) {
        case VolumeEffect::SlideDown: SlideVolume(e, -param); break;
        case VolumeEffect::SlideUp: SlideVolume(e, param); break;
        case VolumeEffect::PanningSlideLeft: SlidePanning(e, -param); break;
        case VolumeEffect::PanningSlideRight: SlidePanning(e, param); break;
        case VolumeEffect::TonePorta:
            if (effect != Effect::TonePorta && effect != Effect::TonePortaVolumeSlide) TonePortaTick(e);
            break;
        case VolumeEffect::Vibrato:
            if (effect != Effect::Vibrato && effect != Effect::VibratoVolumeSlide) VibratoTick(e);
            break;
        default: break;
    }
}

}  // namespace

int32_t NoteTick(const RowValues& row) { return row.effect == Effect::NoteDelay ? row.param : 0; }

bool IsTonePorta(const RowValues& row) {
    return row.effect == Effect::TonePorta || row.effect == Effect::TonePortaVolumeSlide ||
           row.volumeEffect == VolumeEffect::TonePorta;
}

void RestartTremor(Voice& v) {
    v.tremorphase = kTremorNone;
    v.tremorcount = 0;
}

void KeyOff(Voice& v, const Mod& song) {
    v.keyoff = 1;
    const bool envelope = v.instrument >= 1 && v.instrument <= std::min(song.nbInstruments, kMaxInstruments) &&
                          (song.instruments[v.instrument].volType & 1);
    if (!envelope) v.volume = 0;
}

void NoteTakesVolume(Voice& v, const RowValues& row) {
    if (row.effect == Effect::SetVolume) v.volume = row.param;
}

void NoteTakesOffset(Voice& v, const RowValues& row) {
    if (row.effect == Effect::SampleOffset) v.position = int64_t{v.offset} << 32;
}

void ApplyRowEffect(Player& p, int c, const RowValues& row) {
    const EffectParts parts = PartsOf(row.effect);
    if (!parts.row) return;
    EffectRow e{p, p.Voices[c], c, row.param, row.param >> 4, row.param & 15, p.SONG.behaviour};
    parts.row(e);
}

TickOutput ApplyTickEffects(Player& p, int c, const RowValues& row) {
    const Mod& song = p.SONG;
    const Behaviour& rules = song.behaviour;
    Voice& v = p.Voices[c];
    EffectTick e{p, v, row, row.param, row.param >> 4, row.param & 15, p.ticks, rules, ScaleOf(song)};
    if (v.cuttick != -1 && e.tick == v.cuttick) {
        v.volume = 0;
        v.cuttick = -1;
    }
    const bool volumeLate = rules.volumeColumnAfterEarlyPart;
    const bool noteTick = e.tick == NoteTick(row);
    if (noteTick && !volumeLate) VolumeColumnRow(v, row);
    const EffectParts parts = PartsOf(row.effect);
    if (parts.early) parts.early(e);

    if (!VoiceSample(song, v)) return TickOutput{v.period, 0};
    if (noteTick && volumeLate) VolumeColumnRow(v, row);
    e.period = v.period;
    if (parts.tick) parts.tick(e);
    VolumeColumnTick(e);

    // Where the trackers write the volume, an off phase the tremor ended in
    // stays silent after it until an instrument number.
    if (rules.tremorWritesVolume && v.tremorphase == kTremorOff) e.tremolo = -64;
    v.period = e.period;
    TickOutput out{e.heard >= 0 ? e.heard : e.period + e.vibrato, e.tremolo};
    if ((rules.instruments || rules.instrumentsShareSamples) && out.period > 0) out.period += AutoVibratoOffset(v, song);
    v.volume = std::clamp(v.volume, 0, 63);
    return out;
}

}  // namespace moddeck
