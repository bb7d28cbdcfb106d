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
    int c;
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

// Slides with fine steps in the parameter: xF (x > 0) up by x and Fy (y > 0)
// down by y, once, on the row's first tick; x0 up and 0y down on the ticks
// after the first (and on the first as well when `firstTickToo`); both
// nibbles set otherwise, nothing. What it moves by on this tick.
int32_t FineNibbleSlide(int32_t tick, int32_t param, bool firstTickToo) {
    const int32_t x = (param >> 4) & 15, y = param & 15;
    if (y == 0xF && x != 0) return tick == 0 ? x : 0;
    if (x == 0xF && y != 0) return tick == 0 ? -y : 0;
    if (tick == 0 && !firstTickToo) return 0;
    return y == 0 ? x : x == 0 ? -y : 0;
}

// The volume and panning slides: the high nibble slides up and wins over
// the low one, which slides down.
int32_t UpOrDown(int32_t param) {
    const int32_t x = (param >> 4) & 15, y = param & 15;
    return x != 0 ? x : -y;
}

// ---- Arpeggio.

void ArpeggioRow(EffectRow& e) {
    const int32_t param = e.rules.arpeggioRemembers ? Remembered(e.v.arpmem, e.param) : e.param;
    e.v.arpstep = 0;
    e.v.arpx = param >> 4;
    e.v.arpy = param & 15;
}

// The note and its two neighbours in turn, tick by tick. An XM note is
// heard for the tick only; a MOD or S3M one becomes the voice's period. An
// IT one is heard as semitones above the period as slid.
void ArpeggioTick(EffectTick& e) {
    Voice& v = e.v;
    if (e.param == 0 && !e.rules.arpeggioRemembers) return;
    const int32_t offset = v.arpstep == 0 ? 0 : v.arpstep == 1 ? v.arpx : v.arpy;
    const int32_t n = v.note + offset;
    if (e.rules.periods == PeriodSystem::IT)
        e.heard = PeriodSemitonesUp(e.p.SONG, e.period, offset);
    else if (e.rules.periods == PeriodSystem::XM)
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

// IT: the portamento up and down keep one memory, the last non-zero
// parameter of either, which the tone portamento shares unless the song
// asks for compatible Gxx.
void RememberSlide(Voice& v, const Behaviour& rules, int32_t param) {
    if (param == 0) return;
    SetSlideWithFineNibble(param, v.portaup, v.fineportaup, v.xfineportaup);
    SetSlideWithFineNibble(param, v.portadown, v.fineportadown, v.xfineportadown);
    if (!rules.compatibleGxx) v.portaspeed = param;
}

void PortaRow(EffectRow& e, int32_t& speed, int32_t& fine, int32_t& xfine) {
    if (e.rules.portaSlidesShareMemory)
        RememberSlide(e.v, e.rules, e.param);
    else if (e.rules.fineSlidesInParameter)
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
void TakeTonePortaSpeed(Voice& v, const Behaviour& rules, int32_t speed) {
    if (rules.portaSlidesShareMemory && !rules.compatibleGxx) return RememberSlide(v, rules, speed);
    if (speed != 0) v.portaspeed = speed;
}
void TonePortaRow(EffectRow& e) { TakeTonePortaSpeed(e.v, e.rules, e.param); }

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

// The position a vibrato or tremolo is heard at on this tick, moved on by
// `speed` on the ticks after the first (or, as the song says, on every
// tick): after it is heard, or before when `movesFirst`.
int32_t ModulationStep(const EffectTick& e, int32_t& pos, int32_t speed, bool movesFirst) {
    const bool moves = e.tick > 0 || e.rules.modulationEveryTick;
    if (moves && movesFirst) pos = (pos + speed) & 63;
    const int32_t heard = pos;
    if (moves && !movesFirst) pos = (pos + speed) & 63;
    return heard;
}

// The voice's waveform `shape` at `pos`, scaled by `depth`.
int32_t Shaped(Voice& v, int32_t shape, int32_t pos, int32_t depth) {
    if ((shape & 3) == kWaveRandom) v.noise = NextNoise(v.noise);
    return ShapedWaveform(shape, pos, depth, v.noise >> 16);
}

// The waveform at its position, which moves on on every tick but a row's
// first; there the vibrato rests when the song says so. A depth of 1 is
// 1/128 of a period step, or 1/256 where it swings half as far (fine
// vibrato: a quarter of either).
int32_t VibratoOffset(EffectTick& e, int32_t depthScale) {
    Voice& v = e.v;
    if (e.tick == 0 && e.rules.vibratoRestsOnFirstTick) return 0;
    const int32_t w = Shaped(v, v.vibwave, ModulationStep(e, v.vibpos, v.vibspeed, e.rules.vibratoMovesFirst), v.vibdepth);
    if (e.rules.vibratoHalfDepth) return -e.scale.unit * w / (256 * depthScale);
    return e.scale.unit * (w / (128 * depthScale));
}
void VibratoTick(EffectTick& e) { e.vibrato = VibratoOffset(e, 1); }
void FineVibratoTick(EffectTick& e) { e.vibrato = VibratoOffset(e, 4); }

void TremoloRow(EffectRow& e) {
    if (e.y != 0) e.v.tremolodepth = e.y;
    if (e.x != 0) e.v.tremolospeed = e.x;
}

void TremoloTick(EffectTick& e) {
    Voice& v = e.v;
    const bool halfDepth = e.rules.tremoloEveryTickHalfDepth;
    if (e.tick == 0 && !halfDepth) return;
    const int32_t w = Shaped(v, v.tremwave, ModulationStep(e, v.trempos, v.tremolospeed, false), v.tremolodepth);
    e.tremolo = w / (halfDepth ? 128 : 64);
}

void PanbrelloRow(EffectRow& e) {
    if (e.y != 0) e.v.panbrellodepth = e.y;
    if (e.x != 0) e.v.panbrellospeed = e.x;
}

// A panning offset that swings about the channel's, moving on after every
// tick by a quarter step of the vibrato's, and holds when the effect ends.
void PanbrelloTick(EffectTick& e) {
    Voice& v = e.v;
    v.panbrello = Shaped(v, v.panbrellowave, v.panbrellopos >> 2, v.panbrellodepth) / 32;
    v.panbrellopos = (v.panbrellopos + v.panbrellospeed) & 255;
}

void VibratoWaveformRow(EffectRow& e) { e.v.vibwave = e.param & 3; }
void TremoloWaveformRow(EffectRow& e) { e.v.tremwave = e.param & 3; }
void PanbrelloWaveformRow(EffectRow& e) { e.v.panbrellowave = e.param & 3; }

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
    e.v.volume += FineNibbleSlide(e.tick, Remembered(e.v.volslidemem, e.param), e.rules.volumeSlidesOnFirstTick);
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

int32_t MaxGlobalVolume(const Behaviour& rules) { return rules.globalVolumesOf128 ? 128 : 64; }

void SetGlobalVolumeRow(EffectRow& e) { e.p.globalVolume = std::min(e.param, MaxGlobalVolume(e.rules)); }

void GlobalVolumeSlideRow(EffectRow& e) {
    if (e.param != 0) e.p.globalVolumeSlide = e.x != 0 ? e.x : -e.y;
}
void GlobalVolumeSlideTick(EffectTick& e) {
    if (e.tick > 0 && !e.rules.globalVolumeSlidePerChannel)
        e.p.globalVolume = std::clamp(e.p.globalVolume + e.p.globalVolumeSlide, 0, 64);
}
// IT's, in channels silent or not.
void GlobalVolumeSlideEarly(EffectTick& e) {
    if (!e.rules.globalVolumeSlidePerChannel) return;
    const int32_t slide = FineNibbleSlide(e.tick, Remembered(e.v.globalslidemem, e.param), false);
    e.p.globalVolume = std::clamp(e.p.globalVolume + slide, 0, MaxGlobalVolume(e.rules));
}

// The channel's volume (IT), which scales everything the channel plays.
void ChannelVolumeRow(EffectRow& e) { e.v.channelVolume = std::min(e.param, 64); }
void ChannelVolumeSlideEarly(EffectTick& e) {
    const int32_t slide = FineNibbleSlide(e.tick, Remembered(e.v.chanvolslidemem, e.param), false);
    e.v.channelVolume = std::clamp(e.v.channelVolume + slide, 0, 64);
}

// ---- Panning.

// The voice's own panning (0..255), and the channel's with it, which the
// voices of songs without instruments are heard at; a panbrello's offset
// ends. 255, the top of every panning command's range, is the right edge.
void PanChannel(Player& p, int c, int32_t panning) {
    Voice& v = p.Voices[c];
    v.panning = panning;
    v.panbrello = 0;
    p.pan[c] = panning >= 255 ? 0.0f : 1.0f - static_cast<float>(panning) / 256.0f;
}

// Set on tick 0 after the note's sample brings its own.
void PanningEarly(EffectTick& e) {
    if (e.tick == 0) PanChannel(e.p, e.c, e.param);
}

// IT: x0 slides the channel left and 0y right, by 64ths of the width, with
// fine steps in the parameter.
void ChannelPanningSlideEarly(EffectTick& e) {
    const int32_t slide = FineNibbleSlide(e.tick, Remembered(e.v.panslidemem, e.param), false);
    if (slide == 0) return;
    const float left = std::clamp(e.p.pan[e.c] + static_cast<float>(slide) / 64.0f, 0.0f, 1.0f);
    PanChannel(e.p, e.c, std::min(static_cast<int32_t>((1.0f - left) * 256.0f + 0.5f), 255));
}

void ChannelPanningRow(EffectRow& e) {
    // 0xA4 (surround) and beyond: the centre.
    e.p.pan[e.c] = e.param <= 0x80 ? 1.0f - e.param / 128.0f : 0.5f;
}
void ChannelPanningCoarseRow(EffectRow& e) { e.p.pan[e.c] = 1.0f - e.param / 15.0f; }

void PanningSlideTick(EffectTick& e) { SlidePanning(e, UpOrDown(Remembered(e.v.panslidemem, e.param))); }

// ---- Sample offset, retriggers, cut, key off.

// Taken by the row's note (NoteTakesOffset); 900 repeats the last offset.
// IT's SAx adds its 65536ths.
void SampleOffsetRow(EffectRow& e) {
    if (e.param != 0) e.v.offset = e.v.highoffset * 65536 + e.param * 256;
}
void HighOffsetRow(EffectRow& e) { e.v.highoffset = e.param; }

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
    if (v.loopcount > 0)
        e.p.raw_jump = v.loopstart;
    else if (e.rules.loopEndStartsNextLoop)
        v.loopstart = e.p.raw + 1;
}

void PatternDelayRow(EffectRow& e) {
    if (e.p.patterndelay == 0) e.p.patterndelay = e.param + 1;
}

void SetSpeedRow(EffectRow& e) { Speed(e.p) = e.param; }
void SetTempoRow(EffectRow& e) { SetTempo(e.p, e.param); }

// ---- IT's filter macros, as the tracker sets them by default: SF0, the
// first of a channel's parametered macros, sets the cutoff; the others are
// empty. Z80..Z8F set the resonance in steps of 8; Z90..ZFF are empty.
// They act on the row's first tick after its note, so that they win over
// the cutoff and resonance the note's instrument brings.

constexpr int32_t kCutoffMacro = 0;
constexpr int32_t kFirstFixedMacro = 0x80, kLastResonanceMacro = 0x8F;

void MacroEarly(EffectTick& e) {
    if (e.tick != 0) return;
    if (e.param < kFirstFixedMacro) {
        if (e.v.macro == kCutoffMacro) e.v.cutoff = e.param;
    } else if (e.param <= kLastResonanceMacro) {
        e.v.resonance = (e.param - kFirstFixedMacro) * 8;
    }
}

void MacroSelectRow(EffectRow& e) { e.v.macro = e.param & 15; }

// Several channels' fine delays add up.
void FinePatternDelayRow(EffectRow& e) { e.p.extraTicks += e.param; }

// 0x down, 1x up by x on the ticks after the first, within 32..255; 00
// repeats the last.
void TempoSlideRow(EffectRow& e) { Remembered(e.v.tempomem, e.param); }
void TempoSlideEarly(EffectTick& e) {
    const int32_t m = e.v.tempomem, step = m & 15;
    if (e.tick == 0 || m == 0) return;
    SetTempo(e.p, std::clamp(e.p.tempo + ((m >> 4) == 1 ? step : -step), 32, 255));
}

// ---- The table: each effect's parts. Position jump and pattern break are
// taken at the end of the row (engine/sequencer.cpp).

struct EffectParts {
    void (*row)(EffectRow&) = nullptr;
    // Before the voice's sample is looked at: also in a channel that plays nothing.
    void (*early)(EffectTick&) = nullptr;
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
        case Effect::GlobalVolumeSlide: return {GlobalVolumeSlideRow, GlobalVolumeSlideEarly, GlobalVolumeSlideTick};
        case Effect::KeyOff: return {nullptr, KeyOffEarly, nullptr};
        case Effect::EnvelopePosition: return {EnvelopePositionRow};
        case Effect::PanningSlide: return {nullptr, nullptr, PanningSlideTick};
        case Effect::MultiRetrigger: return {nullptr, nullptr, MultiRetriggerTick};
        case Effect::Retrigger: return {nullptr, nullptr, RetriggerTick};
        case Effect::NoteCut: return {NoteCutRow};
        case Effect::SetFinetune: return {nullptr, nullptr, SetFinetuneTick};
        case Effect::Macro: return {nullptr, MacroEarly, nullptr};
        case Effect::MacroSelect: return {MacroSelectRow};
        case Effect::ChannelVolume: return {ChannelVolumeRow};
        case Effect::ChannelVolumeSlide: return {nullptr, ChannelVolumeSlideEarly};
        case Effect::ChannelPanningSlide: return {nullptr, ChannelPanningSlideEarly};
        case Effect::TempoSlide: return {TempoSlideRow, TempoSlideEarly};
        case Effect::FinePatternDelay: return {FinePatternDelayRow};
        case Effect::HighOffset: return {HighOffsetRow};
        case Effect::Panbrello: return {PanbrelloRow, nullptr, PanbrelloTick};
        case Effect::VibratoWaveform: return {VibratoWaveformRow};
        case Effect::TremoloWaveform: return {TremoloWaveformRow};
        case Effect::PanbrelloWaveform: return {PanbrelloWaveformRow};
        // A note delay moves the row's note (engine/sequencer.cpp).
        case Effect::None: case Effect::PositionJump: case Effect::PatternBreak: case Effect::NoteDelay:
        // The note trigger plays it.
        case Effect::InstrumentControl:
        case Effect::Count: break;
    }
    return {};
}

// ---- The volume column: its own memory-less slides, the vibrato and tone
// portamento of the effects.

// On the row's first tick: the volumes, panning, vibrato and tone
// portamento speeds it sets.
void VolumeColumnRow(Player& p, int c, const RowValues& row) {
    Voice& v = p.Voices[c];
    const Behaviour& rules = p.SONG.behaviour;
    const int32_t param = row.volumeParam;
    switch (row.volumeEffect) {
        case VolumeEffect::SetVolume: v.volume = param; break;
        case VolumeEffect::FineSlideDown: v.volume -= param; break;
        case VolumeEffect::FineSlideUp: v.volume += param; break;
        case VolumeEffect::VibratoSpeed: v.vibspeed = param; break;
        case VolumeEffect::Vibrato: TakeVibrato(v, 0, param); break;
        case VolumeEffect::Panning: PanChannel(p, c, param); break;
        case VolumeEffect::TonePorta: TakeTonePortaSpeed(v, rules, param); break;
        case VolumeEffect::PortaDown: case VolumeEffect::PortaUp: RememberSlide(v, rules, param); break;
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
        case VolumeEffect::PortaDown: PortaDownTick(e); break;
        case VolumeEffect::PortaUp: PortaUpTick(e); break;
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
    EffectTick e{p, v, c, row, row.param, row.param >> 4, row.param & 15, p.ticks, rules, ScaleOf(song)};
    if (v.cuttick != -1 && e.tick == v.cuttick) {
        v.volume = 0;
        v.cuttick = -1;
    }
    const bool volumeLate = rules.volumeColumnAfterEarlyPart;
    const bool noteTick = e.tick == NoteTick(row);
    if (noteTick && row.note >= 0) v.panbrello = 0;
    if (noteTick && !volumeLate) VolumeColumnRow(p, c, row);
    const EffectParts parts = PartsOf(row.effect);
    if (parts.early) parts.early(e);

    const ModSample* sample = VoiceSample(song, v);
    if (!sample) return TickOutput{v.period, 0};
    if (noteTick && volumeLate) VolumeColumnRow(p, c, row);
    if (noteTick && rules.offsetPastEndRestarts && row.effect == Effect::SampleOffset &&
        (v.position >> 32) >= sample->length)
        v.position = 0;
    e.period = v.period;
    if (parts.tick) parts.tick(e);
    VolumeColumnTick(e);

    // Where the trackers write the volume, an off phase the tremor ended in
    // stays silent after it until an instrument number.
    if (rules.tremorWritesVolume && v.tremorphase == kTremorOff) e.tremolo = -64;
    v.period = e.period;
    TickOutput out{e.heard >= 0 ? e.heard : e.period + e.vibrato, e.tremolo};
    if ((rules.instruments || rules.instrumentsShareSamples) && out.period > 0) out.period += AutoVibratoOffset(v, song);
    v.volume = std::clamp(v.volume, 0, rules.globalVolumesOf128 ? 64 : 63);
    return out;
}

}  // namespace moddeck
