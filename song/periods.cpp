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

int32_t S3MPeriod(int note, int32_t c2spd) {
    static constexpr int64_t kSemitonePeriods[12] = {1712, 1616, 1524, 1440, 1356, 1280,
                                                      1208, 1140, 1076, 1016, 960, 907};
    const int n = std::clamp(note, 0, kNotes - 1);
    const int64_t rate = c2spd > 0 ? c2spd : kS3MMiddleCRate;
    const int64_t period = ((kS3MMiddleCRate * 16 * kSemitonePeriods[n % 12]) >> (n / 12)) / rate;
    return static_cast<int32_t>(std::max<int64_t>(period, kS3MMinNotePeriod));
}

double XMLinearRate(int32_t period) { return 8363.0 * std::exp2((kXMLinearMiddleC - period) / 768.0); }

}  // namespace moddeck
