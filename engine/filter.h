// The resonant low-pass filter of Impulse Tracker songs: two poles per
// voice, set once a tick from the channel's cutoff and resonance (and the
// instrument's filter envelope) at the output rate, and run on every
// interpolated sample value before its gain and panning.
#pragma once

#include <algorithm>
#include <cstdint>

namespace moddeck {

// Cutoff and resonance, as the channel holds them.
constexpr int32_t kMaxCutoff = 127;
constexpr int32_t kMaxResonance = 127;
// The share of the cutoff a filter envelope leaves, 0..kFullCutoffShare:
// its value -32..32 plus 32, full without one.
constexpr int32_t kFullCutoffShare = 64;

// A voice's filter through one tick: y = a0 x + b0 y1 + b1 y2 over its
// last two outputs. Off (as zeroed), the values pass untouched.
struct FilterCoefficients {
    bool on;
    float a0;
    float b0;
    float b1;
};

// The filter's last two outputs, which carry on across ticks and chunks
// and start from silence (zero) with each note.
struct FilterHistory {
    float y1;
    float y2;
};

// The filter of `cutoff` and `resonance` (0..127, clamped), the cutoff
// scaled by `share` (0..64) of a filter envelope, at `rate` frames per
// second. A full cutoff without resonance is no filter at all.
FilterCoefficients FilterFor(int32_t cutoff, int32_t resonance, int32_t share, int32_t rate);

// A resonance high above a cutoff near half the rate rings without end:
// the outputs are held to twice the sample range, as the tracker's own
// mixer held them, so the voice stays bounded (if harsh).
constexpr float kFilterLimit = 65536.0f;

// The filter's output for the value x, which moves its history on.
inline float FilterStep(const FilterCoefficients& f, FilterHistory& h, float x) {
    const float y = std::clamp(f.a0 * x + f.b0 * h.y1 + f.b1 * h.y2, -kFilterLimit, kFilterLimit);
    h.y2 = h.y1;
    h.y1 = y;
    return y;
}

}  // namespace moddeck
