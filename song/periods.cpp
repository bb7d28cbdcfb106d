#include "song/periods.h"

#include <cmath>

namespace moddeck {

int32_t XMPeriod(int note, int finetune) {
    int n = std::clamp(note, 0, kPeriodColumns - 1);
    int f = std::clamp(finetune, -128, 127);
    // Eighths of a semitone, rounded down: -1 lies just below the note.
    int i = (n % 12) * 8 + (f >> 4) + 8;
    int32_t A = PeriodTabXM[i];
    int32_t B = PeriodTabXM[i + 1];
    if (n < 12) {
        A *= 4;
        B *= 4;
    } else {
        int shift = n / 12 - 1;
        A = (2 * A) / (1 << shift);
        B = (2 * B) / (1 << shift);
    }
    double w = ((f + 128) % 16) * 0.0625;
    return static_cast<int32_t>(w * ((float)B - (float)A) + (float)A);
}

int32_t XMLinearPeriod(int note, int finetune) {
    int n = std::clamp(note, 0, 120);
    int f = std::clamp(finetune, -128, 127);
    return 7680 - (n - 1) * 64 - f / 2;
}

namespace {

// The S3M formula for note n (already within the table), `octaves` (1 or 2)
// times sixteen times the middle-C period, halved per octave, at least `floor`.
int32_t MiddleCPeriod(int n, int32_t c2spd, int64_t octaves, int64_t floor) {
    static constexpr int64_t kSemitonePeriods[12] = {1712, 1616, 1524, 1440, 1356, 1280,
                                                      1208, 1140, 1076, 1016, 960, 907};
    const int64_t rate = c2spd > 0 ? c2spd : kS3MMiddleCRate;
    const int64_t period = ((kS3MMiddleCRate * 16 * octaves * kSemitonePeriods[n % 12]) >> (n / 12)) / rate;
    return static_cast<int32_t>(std::max<int64_t>(period, floor));
}

}  // namespace

int32_t S3MPeriod(int note, int32_t c2spd) {
    return MiddleCPeriod(std::clamp(note, 0, kNotes - 1), c2spd, 1, kS3MMinNotePeriod);
}

int32_t ITAmigaPeriod(int note, int32_t c2spd) {
    return MiddleCPeriod(std::clamp(note, 0, kITNotes - 1), c2spd, 2, 1);
}

int32_t ITLinearPeriod(int note) { return kITLinearLowest - kITLinearSemitone * std::clamp(note, 0, kITNotes - 1); }

double ITLinearRate(int32_t period, int32_t c2spd) {
    const double rate = c2spd > 0 ? c2spd : kS3MMiddleCRate;
    return rate * std::exp2((ITLinearPeriod(kITMiddleC) - period) / (12.0 * kITLinearSemitone));
}

double XMLinearRate(int32_t period) { return 8363.0 * std::exp2((kXMLinearMiddleC - period) / 768.0); }

}  // namespace moddeck
