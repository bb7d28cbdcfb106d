#include "engine/envelopes.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace moddeck {

namespace {

constexpr int kLastPoint = kEnvelopePoints - 1;

// Point indexes come from the file as bytes; the envelope holds 12 points.
int PointIndex(int32_t i) { return std::clamp(i, 0, kLastPoint); }

// The value on the first segment k in 0..last with x[k] <= u < x[k+1].
bool SearchSegments(const EnvelopePoint* pts, int last, int32_t u, float& value) {
    for (int k = 0; k <= last && k < kLastPoint; k++) {
        int32_t x0 = pts[k].x, x1 = pts[k + 1].x;
        if (x0 <= u && u < x1) {
            value = static_cast<float>(pts[k].y) + static_cast<float>(pts[k + 1].y - pts[k].y) *
                                                       static_cast<float>(u - x0) / static_cast<float>(x1 - x0);
            return true;
        }
    }
    return false;
}

// Runs up to the sustain point, then holds its value.
float SustainValue(const EnvelopePoint* pts, int32_t sustain, int32_t u) {
    int s = PointIndex(sustain);
    float value;
    if (s < 1) return pts[s].y;
    if (SearchSegments(pts, s - 1, u, value)) return value;
    return pts[s].y;
}

// Folds u into the loop. False when the loop has no length (its end at or
// before its start): the envelope then holds the loop start's value.
bool FoldIntoLoop(const EnvelopePoint* pts, int32_t loopStart, int32_t loopEnd, int32_t& u) {
    int32_t xs = pts[PointIndex(loopStart)].x;
    int32_t len = pts[PointIndex(loopEnd)].x - xs;
    if (u <= xs) return true;
    if (len <= 0) return false;
    u = xs + (u - xs) % len;
    return true;
}

}  // namespace

void AdvanceEnvelopes(Voice& v) {
    // Saturates instead of overflowing on a note held for days.
    if (v.volenvpos < INT32_MAX) v.volenvpos++;
    if (v.panenvpos < INT32_MAX) v.panenvpos++;
}

void FadeAtRowStart(Voice& v) { v.fadevolume = std::max(0, v.fadevolume - v.fadestep); }

float VolumeEnvelopeValue(const ModInstrument& ins, int32_t pos) {
    const EnvelopePoint* pts = ins.volEnvelope;
    float e = 0.0f;
    if (ins.volType == 0) {
        e = 64.0f;
    } else if (ins.volType & 2) {
        e = SustainValue(pts, ins.volSustain, pos);
    } else if (ins.volType & 4) {
        int32_t u = pos;
        if (!FoldIntoLoop(pts, ins.volLoopStart, ins.volLoopEnd, u))
            e = pts[PointIndex(ins.volLoopStart)].y;
        else if (!SearchSegments(pts, kLastPoint - 1, u, e))
            e = 0.0f;
    } else if (!SearchSegments(pts, kLastPoint - 1, pos, e)) {
        e = 0.0f;  // past the last point the note falls silent
    }
    // Points hold 0..64; a file's stray values must not scale the gain up.
    return std::clamp(e, 0.0f, 64.0f);
}

float PanCurve(float q) {
    q = std::clamp(q, 0.0f, 1.0f);
    if (q >= 0.5f) return static_cast<float>(0.5 + 0.5 * std::sqrt(static_cast<double>(2 * q - 1)));
    return static_cast<float>(0.5 - 0.5 * std::sqrt(static_cast<double>(1 - 2 * q)));
}

float PanningOfVoice(const ModInstrument& ins, const ModSample& sample, int32_t pos) {
    const EnvelopePoint* pts = ins.panEnvelope;
    float value;
    int32_t type = ins.panType;
    if (type & 2) return PanCurve(SustainValue(pts, ins.panSustain, pos) / 64);
    if (type & 1) return SearchSegments(pts, kLastPoint - 1, pos, value) ? PanCurve(value / 64) : 0.5f;
    if (type & 4) {
        // As written, the loop bit is looked at only without the on bit.
        int32_t u = pos;
        if (!FoldIntoLoop(pts, ins.panLoopStart, ins.panLoopEnd, u))
            return PanCurve(static_cast<float>(pts[PointIndex(ins.panLoopStart)].y) / 64);
        return SearchSegments(pts, kLastPoint - 1, u, value) ? PanCurve(value / 64) : 0.5f;
    }
    float q = 0.003921569 * sample.panning;
    return PanCurve(q);
}

}  // namespace moddeck
