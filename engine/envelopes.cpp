#include "engine/envelopes.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "engine/waveform.h"

namespace moddeck {

namespace {

// One envelope of an instrument, with its point count taken within what
// the record holds. An envelope whose "on" bit is clear, or that has no
// point, does nothing at all: its sustain and loop bits are not looked at.
struct Envelope {
    const EnvelopePoint* pts;
    int count;
    int32_t type;  // bit 0 on, bit 1 sustain, bit 2 loop
    int32_t sustain, loopStart, loopEnd;
    int32_t sustainEnd = 0;  // IT: the sustain loop's last point

    bool on() const { return (type & 1) && count > 0; }
    int32_t x(int32_t point) const { return pts[std::clamp(point, 0, count - 1)].x; }
};

Envelope VolumeEnvelope(const ModInstrument& ins) {
    return {ins.volEnvelope, std::clamp(ins.nbVolPoints, 0, kEnvelopePoints), ins.volType,
            ins.volSustain, ins.volLoopStart, ins.volLoopEnd, ins.volSustainEnd};
}

Envelope PanningEnvelope(const ModInstrument& ins) {
    return {ins.panEnvelope, std::clamp(ins.nbPanPoints, 0, kEnvelopePoints), ins.panType,
            ins.panSustain, ins.panLoopStart, ins.panLoopEnd, ins.panSustainEnd};
}

Envelope PitchEnvelope(const ModInstrument& ins) {
    return {ins.pitchEnvelope, std::clamp(ins.nbPitchPoints, 0, kEnvelopePoints), ins.pitchType,
            ins.pitchSustain, ins.pitchLoopStart, ins.pitchLoopEnd, ins.pitchSustainEnd};
}

// An IT envelope as a voice has it: S7x may have turned it off, or on.
Envelope Switched(Envelope e, const Voice& v, uint8_t which) {
    if (v.envelopeson & which) e.type |= kEnvelopeOn;
    if (v.envelopesoff & which) e.type &= ~kEnvelopeOn;
    return e;
}

// The value at `pos`: the segment holding it interpolated, the first point's
// value before it, the last point's after the last point (and wherever the
// file's points are out of order).
float ValueAt(const Envelope& e, int32_t pos) {
    if (pos <= e.pts[0].x) return e.pts[0].y;
    for (int k = 0; k + 1 < e.count; k++) {
        const int32_t x0 = e.pts[k].x, x1 = e.pts[k + 1].x;
        if (x0 <= pos && pos < x1)
            return static_cast<float>(e.pts[k].y) + static_cast<float>(e.pts[k + 1].y - e.pts[k].y) *
                                                        static_cast<float>(pos - x0) / static_cast<float>(x1 - x0);
    }
    return e.pts[e.count - 1].y;
}

void Advance(const Envelope& e, int32_t& pos, bool keyoff) {
    if (!e.on()) return;
    if ((e.type & 2) && !keyoff && pos == e.x(e.sustain)) return;  // held while the key is down
    if (pos < INT32_MAX) pos++;
    if ((e.type & 4) && pos == e.x(e.loopEnd)) pos = e.x(e.loopStart);
}

// IT: one tick on. While the key is down the sustain loop plays, else the
// loop, each with its last point (a loop of one point holds it); past its
// last point an envelope stays there. True when it has come to its end.
bool AdvanceIT(const Envelope& e, int32_t& pos, bool keyoff) {
    if (!e.on()) return false;
    if (pos < INT32_MAX) pos++;
    const bool sustained = (e.type & kEnvelopeSustain) && !keyoff;
    if (sustained || (e.type & kEnvelopeLoop)) {
        const int32_t start = e.x(sustained ? e.sustain : e.loopStart);
        const int32_t end = e.x(sustained ? e.sustainEnd : e.loopEnd);
        if (pos > end && start <= end) pos = start;
        return false;
    }
    const int32_t last = e.x(e.count - 1);
    if (pos < last) return false;
    pos = last;
    return true;
}

// The instrument vibrato's waveforms over 256 steps, -64..64.
int32_t AutoVibratoWave(int32_t type, int32_t pos) {
    switch (type) {
        case 1: return pos < 128 ? 64 : -64;   // square
        case 2: return 64 - pos / 2;            // ramp down
        case 3: return pos / 2 - 64;            // ramp up
        default: return Waveform(pos >> 2, 1) / 4;  // sine
    }
}

}  // namespace

void AdvanceEnvelopes(Voice& v, const ModInstrument& ins) {
    Advance(VolumeEnvelope(ins), v.volenvpos, v.keyoff);
    Advance(PanningEnvelope(ins), v.panenvpos, v.keyoff);
    // The fade-out runs from 65536 down by twice the instrument's value each
    // tick after the key is released.
    if (v.keyoff) v.fadevolume = std::max(0, v.fadevolume - 2 * v.fadestep);
}

void AdvanceITEnvelopes(Voice& v, const ModInstrument& ins) {
    const bool keyoff = v.keyoff;
    const Envelope volume = Switched(VolumeEnvelope(ins), v, kVolumeEnvelopeSwitch);
    if (AdvanceIT(volume, v.volenvpos, keyoff)) {
        // A volume envelope at its end lets the note fade; one that ends at
        // nothing has ended the note.
        v.fading = 1;
        if (volume.pts[volume.count - 1].y <= 0) v.fadevolume = 0;
    }
    AdvanceIT(Switched(PanningEnvelope(ins), v, kPanningEnvelopeSwitch), v.panenvpos, keyoff);
    AdvanceIT(Switched(PitchEnvelope(ins), v, kPitchEnvelopeSwitch), v.pitchenvpos, keyoff);
    if (v.fading) v.fadevolume = std::max(0, v.fadevolume - 2 * v.fadestep);
}

ITEnvelopeValues ITEnvelopesOf(const Voice& v, const ModInstrument& ins) {
    ITEnvelopeValues out;
    const Envelope volume = Switched(VolumeEnvelope(ins), v, kVolumeEnvelopeSwitch);
    if (volume.on()) out.volume = std::clamp(ValueAt(volume, v.volenvpos), 0.0f, 64.0f);
    const Envelope panning = Switched(PanningEnvelope(ins), v, kPanningEnvelopeSwitch);
    if (panning.on()) out.panning = std::clamp(ValueAt(panning, v.panenvpos), -32.0f, 32.0f);
    const Envelope pitch = Switched(PitchEnvelope(ins), v, kPitchEnvelopeSwitch);
    if (pitch.on()) (ins.pitchType & kEnvelopeFilter ? out.filter : out.pitch) = std::clamp(ValueAt(pitch, v.pitchenvpos), -32.0f, 32.0f);
    return out;
}

bool ITVolumeEnvelopeOn(const Voice& v, const ModInstrument& ins) {
    return Switched(VolumeEnvelope(ins), v, kVolumeEnvelopeSwitch).on();
}

bool ITVolumeEnvelopeLoops(const ModInstrument& ins) { return ins.volType & kEnvelopeLoop; }

float VolumeEnvelopeValue(const ModInstrument& ins, int32_t pos) {
    const Envelope e = VolumeEnvelope(ins);
    if (!e.on()) return 64.0f;
    // Points hold 0..64; a file's stray values must not scale the gain up.
    return std::clamp(ValueAt(e, pos), 0.0f, 64.0f);
}

float PanCurve(float q) {
    q = std::clamp(q, 0.0f, 1.0f);
    if (q >= 0.5f) return static_cast<float>(0.5 + 0.5 * std::sqrt(static_cast<double>(2 * q - 1)));
    return static_cast<float>(0.5 - 0.5 * std::sqrt(static_cast<double>(1 - 2 * q)));
}

float PanningOfVoice(const ModInstrument& ins, int32_t panning, int32_t pos) {
    float pan = static_cast<float>(std::clamp(panning, 0, 255));
    const Envelope e = PanningEnvelope(ins);
    if (e.on()) {
        // The envelope (32 = no change) moves the pan as far as the side it
        // moves towards allows.
        const float value = std::clamp(ValueAt(e, pos), 0.0f, 64.0f);
        pan += (value - 32.0f) * (128.0f - std::fabs(pan - 128.0f)) / 32.0f;
    }
    float q = 0.003921569 * pan;
    return 1.0f - PanCurve(q);
}

namespace {

// The vibrato a voice's note has: its XM instrument's, or its IT sample's.
struct AutoVibrato {
    int32_t type, depth, sweep, rate;
};

bool AutoVibratoOf(const Voice& v, const Mod& song, AutoVibrato& out) {
    if (song.behaviour.instrumentsShareSamples) {
        if (v.samplenum < 1 || v.samplenum >= kSampleSlots) return false;
        const ModSample& s = song.samples[v.samplenum];
        out = {s.vibType, s.vibDepth, s.vibSweep, s.vibRate};
        return true;
    }
    if (v.instrument < 1 || v.instrument > std::min(song.nbInstruments, kMaxInstruments)) return false;
    const ModInstrument& ins = song.instruments[v.instrument];
    out = {ins.vibType, ins.vibDepth, ins.vibSweep, ins.vibRate};
    return true;
}

// IT's waveform numbers (sine, ramp down, square, random) in XM's.
int32_t XMWaveOfIT(int32_t type) {
    constexpr int32_t kXMWave[4] = {0, 2, 1, 3};
    return kXMWave[type & 3];
}

}  // namespace

int32_t AutoVibratoOffset(Voice& v, const Mod& song) {
    AutoVibrato vib;
    if (!AutoVibratoOf(v, song, vib) || vib.depth <= 0 || vib.rate <= 0) return 0;
    const bool it = song.behaviour.instrumentsShareSamples;
    int32_t depth = std::min(vib.depth, 255);
    if (it) {
        // IT's sweep is how fast the depth grows, by sweep/256 a tick: a
        // sweep of 0 never lets it start.
        const int64_t grown = int64_t{std::max(vib.sweep, 0)} * v.autovibticks / 256;
        if (grown < depth) depth = static_cast<int32_t>(grown);
    } else if (vib.sweep > 0 && v.autovibticks < vib.sweep) {
        // The depth grows from nothing over the sweep's ticks.
        depth = depth * v.autovibticks / vib.sweep;
    }
    if (v.autovibticks < INT32_MAX) v.autovibticks++;
    const int32_t wave = AutoVibratoWave(it ? XMWaveOfIT(vib.type) : vib.type & 3, v.autovibpos);
    v.autovibpos = (v.autovibpos + vib.rate) & 255;
    // Amiga periods of the record are twice as fine as linear ones.
    return (song.linearFreq ? 1 : 2) * (wave * depth / 64);
}

}  // namespace moddeck
