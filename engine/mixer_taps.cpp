#include "engine/mixer_taps.h"

#include <array>
#include <cmath>

namespace moddeck {

namespace {

// Catmull-Rom: the cubic through frames i and i + 1 whose slopes there are
// those of their neighbours, at distance x (0..1) past frame i.
void CubicRow(double x, float* w) {
    const double x2 = x * x, x3 = x2 * x;
    w[0] = static_cast<float>((-x3 + 2 * x2 - x) / 2);
    w[1] = static_cast<float>((3 * x3 - 5 * x2 + 2) / 2);
    w[2] = static_cast<float>((-3 * x3 + 4 * x2 + x) / 2);
    w[3] = static_cast<float>((x3 - x2) / 2);
}

double Sinc(double x) { return x == 0 ? 1.0 : std::sin(M_PI * x) / (M_PI * x); }

// The sinc over eight frames under a Lanczos window (the sinc's own first
// lobe stretched over the taps), scaled to add up to 1.
void SincRow(double x, float* w) {
    double raw[8], total = 0;
    for (int t = 0; t < 8; t++) {
        const double d = (t - 3) - x;
        raw[t] = Sinc(d) * Sinc(d / 4);
        total += raw[t];
    }
    for (int t = 0; t < 8; t++) w[t] = static_cast<float>(raw[t] / total);
}

struct TapTables {
    std::array<float, kPhases * 4> cubic;
    std::array<float, kPhases * 8> sinc;
};

TapTables MakeTables() {
    TapTables t{};
    for (int phase = 0; phase < kPhases; phase++) {
        const double x = static_cast<double>(phase) / kPhases;
        CubicRow(x, &t.cubic[phase * 4]);
        SincRow(x, &t.sinc[phase * 8]);
    }
    return t;
}

// Built once at start-up.
const TapTables kTables = MakeTables();

}  // namespace

const float* const CubicWeights = kTables.cubic.data();
const float* const SincWeights = kTables.sinc.data();

}  // namespace moddeck
