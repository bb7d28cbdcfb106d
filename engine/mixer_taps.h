// Cubic and windowed-sinc interpolation: the weights of their taps for a
// frame's fraction, and the sum that makes one value of them, in the one
// order of additions every path keeps (so that the vector kernels give what
// the plain mixer gives, sample for sample).
#pragma once

#include <cstdint>

#include "engine/player.h"

namespace moddeck {

// The fraction between two frames is taken to 1/1024 for the weights.
constexpr int kPhaseBits = 10;
constexpr int kPhases = 1 << kPhaseBits;
constexpr int kMaxTaps = 8;

// Cubic reads four frames, i - 1 .. i + 2; sinc eight, i - 3 .. i + 4.
inline int TapsOf(Interpolation how) { return how == Interpolation::Sinc ? 8 : 4; }
inline int TapsBefore(int taps) { return taps / 2 - 1; }

// The weights by phase: kPhases rows of 4 (cubic) or 8 (sinc). Each row
// adds up to 1, so that a constant signal keeps its level.
extern const float* const CubicWeights;
extern const float* const SincWeights;

// The `taps` (4 or 8) weights for a frame at `fraction` (24 bits).
inline const float* TapWeights(int taps, int32_t fraction) {
    const uint32_t phase = static_cast<uint32_t>(fraction) >> (24 - kPhaseBits) & (kPhases - 1);
    return taps == 8 ? SincWeights + 8 * phase : CubicWeights + 4 * phase;
}

// The value between frames from the `taps` values at v and their weights:
// products of taps j and j + 4 added first, then the four sums in pairs.
inline float TapValue(int taps, const int16_t* v, const float* w) {
    float q[4];
    for (int j = 0; j < 4; j++) q[j] = w[j] * static_cast<float>(v[j]);
    if (taps == 8)
        for (int j = 0; j < 4; j++) q[j] = q[j] + w[j + 4] * static_cast<float>(v[j + 4]);
    return (q[0] + q[1]) + (q[2] + q[3]);
}

}  // namespace moddeck
