#include "engine/periods.h"

namespace moddeck {

int32_t XMPeriod(int note, int finetune) {
    int n = std::clamp(note, 0, kPeriodColumns - 1);
    int f = std::clamp(finetune, -128, 127);
    int i = (n % 12) * 8 + f / 16 + 8;
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

}  // namespace moddeck
