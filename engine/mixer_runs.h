// The fast mixer's inner loop: runs of frames whose two sample values sit
// side by side in the data (or four or eight, for cubic and sinc), each
// interpolated, gained, panned, halved and added with clamping into the
// running sum of the voices, four frames at a time with SSE2 or eight with
// AVX2, as the processor allows. Also the arithmetic of one frame, which
// every path shares, and the 32.32 fixed-point positions it reads.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/filter.h"
#include "engine/player.h"

namespace moddeck {

// Positions are 32.32 fixed-point frames (see Voice): a step is added
// exactly, so that long notes keep their pitch and a run of frames can be
// skipped in one multiplication. The fraction weights a frame's two values,
// to 24 bits: as many as a float holds exactly.
constexpr double kFixedOne = 4294967296.0;
constexpr float kFractionUnit = 1.0f / 16777216.0f;
inline int32_t FrameOf(int64_t pos) { return static_cast<int32_t>(pos >> 32); }
inline int32_t FractionOf(int64_t pos) { return static_cast<int32_t>(static_cast<uint32_t>(pos) >> 8); }

// Splits one gained value s between the two elements of a frame: the first
// gets (int16)(int)(s * p), the second the rest.
inline void PanFrame(int32_t s, float p, int16_t* frame) {
    int16_t left = static_cast<int16_t>(static_cast<int32_t>(static_cast<float>(s) * p));
    frame[0] = left;
    frame[1] = static_cast<int16_t>(s - left);
}

// One frame from its interpolated value: applies the gain and pans into
// out[0], out[1].
inline void EmitValue(float value, float gain, float pan, int16_t* out) {
    PanFrame(static_cast<int32_t>(value * gain), pan, out);
}

// The straight line between a and b at `fraction` (24 bits).
inline float LinearValue(int32_t a, int32_t b, int32_t fraction) {
    const float f = static_cast<float>(fraction) * kFractionUnit;
    return (static_cast<float>(b) - static_cast<float>(a)) * f + static_cast<float>(a);
}

// A value through the voice's filter, with the gain applied: a resonant
// peak may pass the sample range, and is held there rather than wrapping.
// The frame takes it at a gain of 1.
inline float FilteredValue(const FilterCoefficients& f, FilterHistory& h, float value, float gain) {
    return std::clamp(FilterStep(f, h, value) * gain, -32768.0f, 32767.0f);
}

// One frame: interpolates between a and b at `fraction` (24 bits), applies
// the gain and pans into out[0], out[1].
inline void EmitFrame(int32_t a, int32_t b, int32_t fraction, float gain, float pan, int16_t* out) {
    EmitValue(LinearValue(a, b, fraction), gain, pan, out);
}

// A fraction as the interpolation sees it: without interpolation every
// frame is read at its start.
inline int32_t FractionMask(Interpolation how) { return how == Interpolation::None ? 0 : 0xFFFFFF; }

// The loudest and quietest values a voice rendered, for the levels.
struct MixPeak {
    int16_t high = 0;
    int16_t low = 0;
};

// The same frame, halved and added with clamping to the running sum at
// sum[0], sum[1] (and counted in `peak` unless it is null).
void MixFrame(int32_t a, int32_t b, int32_t fraction, float gain, float pan, int16_t* sum, MixPeak* peak);

// A frame's two elements halved and added with clamping to the running
// sum at sum[0], sum[1] (and counted in `peak` unless it is null).
void AddFrame(const int16_t* frame, int16_t* sum, MixPeak* peak);

// A run of `frames` frames from `position` on, `step` apart, frame i reading
// data[i] and data[i + 1], or with a non-zero `mirror` (the backward leg of a
// ping-pong loop) data[mirror - i] and data[mirror - i - 1]; every frame of
// the run must have both inside the data.
struct MixRun {
    const int16_t* data;
    int32_t length;  // values in data
    int32_t mirror;
    int64_t position;
    int64_t step;
    int32_t frames;
    float gain;
    float pan;
    int16_t* sum;   // interleaved stereo, with kMixPadFrames frames of room past the run
    MixPeak* peak;  // null when no meter is shown
    int32_t fractionMask;  // FractionMask of the interpolation
    // A filtered voice's filter and history (null: none): its run is mixed
    // one frame after the other, as FilteredValue, EmitValue and AddFrame do.
    const FilterCoefficients* filter;
    FilterHistory* history;
};

// Mixes the run with the instructions `isa` names, frame for frame as
// MixFrame does.
void MixRunFrames(MixerIsa isa, const MixRun& run);

// A run of cubic (4 taps) or sinc (8 taps) frames: frame i reads its taps
// at data[i - TapsBefore(taps)] on, which must all lie inside the data.
struct TapRun {
    const int16_t* data;
    int32_t taps;
    int64_t position;
    int64_t step;
    int32_t frames;
    float gain;
    float pan;
    int16_t* sum;   // as MixRun's
    MixPeak* peak;
};

// Mixes the run with the instructions `isa` names, frame for frame as
// TapValue, EmitValue and AddFrame do.
void MixTapRunFrames(MixerIsa isa, const TapRun& run);

}  // namespace moddeck
