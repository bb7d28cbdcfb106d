// The waveforms of the vibratos, the tremolo and the panbrello, 64 steps
// in all: a half sine up, then its negative; and IT's ramp down, square and
// random.
#pragma once

#include <cstdint>

namespace moddeck {

// One half of a sine, 32 steps.
inline constexpr int32_t kSineHalf[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                                          224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                                          212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

// The waveform at position `pos` (low 6 bits) scaled by `depth`.
constexpr int32_t Waveform(int32_t pos, int32_t depth) {
    const int32_t q = pos & 63;
    return q < 32 ? depth * kSineHalf[q] : -(depth * kSineHalf[q - 32]);
}

// The waveforms IT chooses among.
enum Waveshape : int32_t { kWaveSine, kWaveRampDown, kWaveSquare, kWaveRandom };

// Waveshape `shape` (low 2 bits) at position `pos` (low 6 bits) scaled by
// `depth`, as Waveform's sine swings (255 at the peak); the random one
// takes `noise` (any value; its low 9 bits give -255..256).
constexpr int32_t ShapedWaveform(int32_t shape, int32_t pos, int32_t depth, uint32_t noise) {
    const int32_t q = pos & 63;
    switch (shape & 3) {
        case kWaveRampDown: return depth * (255 - q * 510 / 63);
        case kWaveSquare: return depth * (q < 32 ? 255 : -255);
        case kWaveRandom: return depth * (static_cast<int32_t>(noise & 511) - 255);
        default: return Waveform(q, depth);
    }
}

// The next value of a voice's noise: a linear congruential step, so that a
// render is the same every time.
constexpr uint32_t NextNoise(uint32_t noise) { return noise * 1664525u + 1013904223u; }

}  // namespace moddeck
