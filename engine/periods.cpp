#include "engine/periods.h"

#include <algorithm>

namespace moddeck {

const int32_t PeriodTabXM[128] = {
    15356, 15245, 15136, 15027, 14919, 14811, 14705, 14599, 14494, 14390, 14286, 14183, 14081, 13980, 13879, 13780,
    13680, 13582, 13484, 13387, 13291, 13195, 13100, 13006, 12913, 12820, 12727, 12636, 12545, 12455, 12365, 12276,
    12188, 12100, 12013, 11927, 11841, 11756, 11671, 11587, 11504, 11421, 11339, 11257, 11176, 11096, 11016, 10937,
    10858, 10780, 10702, 10625, 10549, 10473, 10398, 10323, 10249, 10175, 10102, 10029, 9957,  9885,  9814,  9743,
    9673,  9604,  9535,  9466,  9398,  9330,  9263,  9197,  9130,  9065,  8999,  8935,  8870,  8807,  8743,  8680,
    8618,  8556,  8494,  8433,  8373,  8312,  8253,  8193,  8134,  8076,  8018,  7960,  7903,  7846,  7789,  7733,
    7678,  7622,  7568,  7513,  7459,  7405,  7352,  7299,  7247,  7195,  7143,  7091,  7040,  6990,  6939,  6890,
    6840,  6791,  6742,  6693,  6645,  6597,  6550,  6503,  6456,  6410,  6363,  6318,  6272,  6227,  6182,  6138,
};

int32_t Periods[kFinetuneRows][kPeriodColumns];
int32_t PeriodsS3M[kFinetuneRows][kPeriodColumns];

void CalculesPeriodes() {
    for (int r = 0; r < kFinetuneRows; r++) {
        // Odd rows sit half way between two entries of the eighth-semitone table.
        int d = (8 * r - 64) / 16;
        double w = (r & 1) ? 0.5 : 0.0;
        for (int o = 0; o < 9; o++) {
            for (int s = 0; s < 12; s++) {
                int32_t a = PeriodTabXM[d + 8 + 8 * s];
                int32_t b = PeriodTabXM[d + 9 + 8 * s];
                int32_t A, B;
                if (o == 0) {
                    A = 4 * a;
                    B = 4 * b;
                } else {
                    A = (2 * a) / (1 << (o - 1));
                    B = (2 * b) / (1 << (o - 1));
                }
                int32_t x = static_cast<int32_t>(((float)B - (float)A) * w + (float)A);
                Periods[r][12 * o + s] = x / 4;
                PeriodsS3M[r][12 * o + s] = x / 2;
            }
        }
    }
}

int32_t PeriodAt(const int32_t (&table)[kFinetuneRows][kPeriodColumns], int row, int note) {
    return table[std::clamp(row, 0, kFinetuneRows - 1)][std::clamp(note, 0, kNotes - 1)];
}

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
