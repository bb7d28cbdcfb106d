// The waveform of the vibratos and the tremolo: a half sine up, then its
// negative, 64 steps in all.
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

}  // namespace moddeck
