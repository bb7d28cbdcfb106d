#include "engine/filter.h"

#include <cmath>

namespace moddeck {

FilterCoefficients FilterFor(int32_t cutoff, int32_t resonance, int32_t share, int32_t rate) {
    cutoff = std::clamp(cutoff, 0, kMaxCutoff);
    resonance = std::clamp(resonance, 0, kMaxResonance);
    share = std::clamp(share, 0, kFullCutoffShare);
    const int32_t heard = cutoff * share;  // the cutoff in 64ths
    if (resonance == 0 && heard >= kMaxCutoff * kFullCutoffShare) return {};
    // The cutoff climbs an octave every 24 steps from 110 * 2^0.25 Hz, in
    // whole hertz within 120..20000 and at most half the rate.
    const double hertz = 110.0 * std::pow(2.0, 0.25 + heard / (24.0 * kFullCutoffShare));
    int32_t frequency = std::clamp(static_cast<int32_t>(std::lround(hertz)), 120, 20000);
    if (2 * frequency > rate) frequency = rate / 2;
    // Each resonance step takes 24/128 dB off the damping.
    const double damping = std::pow(10.0, -resonance * (24.0 / 128.0) / 20.0);
    const double r = rate / (2.0 * M_PI * frequency);
    const double d = damping * r + damping - 1.0, e = r * r;
    const double n = 1.0 + d + e;  // above 0: d > -1
    return {true, static_cast<float>(1.0 / n), static_cast<float>((d + 2.0 * e) / n), static_cast<float>(-e / n)};
}

}  // namespace moddeck
