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

    bool on() const { return (type & 1) && count > 0; }
    int32_t x(int32_t point) const { return pts[std::clamp(point, 0, count - 1)].x; }
};

Envelope VolumeEnvelope(const ModInstrument& ins) {
    return {ins.volEnvelope, std::clamp(ins.nbVolPoints, 0, kEnvelopePoints), ins.volType,
            ins.volSustain, ins.volLoopStart, ins.volLoopEnd};
}

Envelope PanningEnvelope(const ModInstrument& ins) {
    return {ins.panEnvelope, std::clamp(ins.nbPanPoints, 0, kEnvelopePoints), ins.panType,
            ins.panSustain, ins.panLoopStart, ins.panLoopEnd};
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

int32_t AutoVibratoOffset(Voice& v, const Mod& song) {
    if (v.instrument < 1 || v.instrument > std::min(song.nbInstruments, kMaxInstruments)) return 0;
    const ModInstrument& ins = song.instruments[v.instrument];
    if (ins.vibDepth <= 0 || ins.vibRate <= 0) return 0;
    // The depth grows from nothing over the sweep's ticks.
    int32_t depth = std::min(ins.vibDepth, 255);
    if (ins.vibSweep > 0 && v.autovibticks < ins.vibSweep) depth = depth * v.autovibticks / ins.vibSweep;
    if (v.autovibticks < INT32_MAX) v.autovibticks++;
    const int32_t wave = AutoVibratoWave(ins.vibType & 3, v.autovibpos);
    v.autovibpos = (v.autovibpos + ins.vibRate) & 255;
    // Amiga periods of the record are twice as fine as linear ones.
    return (song.linearFreq ? 1 : 2) * (wave * depth / 64);
}

}  // namespace moddeck
