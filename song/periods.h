// Period tables. Pitches are Amiga-style periods: a larger period is a lower
// note, and a sample plays at a clock constant divided by its period. The
// tables are constants, computed by the compiler.
#pragma once

#include <algorithm>
#include <cstdint>

namespace moddeck {

constexpr int kFinetuneRows = 16;  // row = finetune + 8, finetune -8..7
constexpr int kPeriodColumns = 120;
constexpr int kNotes = 108;        // note index 12*octave + semitone, 9 octaves

// One eighth of a semitone per entry over a little more than an octave.
inline constexpr int32_t PeriodTabXM[128] = {
    15356, 15245, 15136, 15027, 14919, 14811, 14705, 14599, 14494, 14390, 14286, 14183, 14081, 13980, 13879, 13780,
    13680, 13582, 13484, 13387, 13291, 13195, 13100, 13006, 12913, 12820, 12727, 12636, 12545, 12455, 12365, 12276,
    12188, 12100, 12013, 11927, 11841, 11756, 11671, 11587, 11504, 11421, 11339, 11257, 11176, 11096, 11016, 10937,
    10858, 10780, 10702, 10625, 10549, 10473, 10398, 10323, 10249, 10175, 10102, 10029, 9957,  9885,  9814,  9743,
    9673,  9604,  9535,  9466,  9398,  9330,  9263,  9197,  9130,  9065,  8999,  8935,  8870,  8807,  8743,  8680,
    8618,  8556,  8494,  8433,  8373,  8312,  8253,  8193,  8134,  8076,  8018,  7960,  7903,  7846,  7789,  7733,
    7678,  7622,  7568,  7513,  7459,  7405,  7352,  7299,  7247,  7195,  7143,  7091,  7040,  6990,  6939,  6890,
    6840,  6791,  6742,  6693,  6645,  6597,  6550,  6503,  6456,  6410,  6363,  6318,  6272,  6227,  6182,  6138,
};

// A table of periods by [finetune row][note]. Columns 108..119 stay 0.
struct PeriodTable {
    int32_t at[kFinetuneRows][kPeriodColumns];
    constexpr const int32_t* operator[](int row) const { return at[row]; }
};

struct PeriodTables {
    PeriodTable mod;  // MOD periods
    PeriodTable s3m;  // S3M periods, about twice the MOD value for the same note
};

// Both tables from PeriodTabXM, in the arithmetic of the trackers' own
// tables (single-precision steps, truncated).
constexpr PeriodTables CalculesPeriodes() {
    PeriodTables t{};
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
                int32_t x = static_cast<int32_t>((static_cast<float>(B) - static_cast<float>(A)) * w +
                                                 static_cast<float>(A));
                t.mod.at[r][12 * o + s] = x / 4;
                t.s3m.at[r][12 * o + s] = x / 2;
            }
        }
    }
    return t;
}

inline constexpr PeriodTables kPeriodTables = CalculesPeriodes();
inline constexpr const PeriodTable& Periods = kPeriodTables.mod;
inline constexpr const PeriodTable& PeriodsS3M = kPeriodTables.s3m;

// Entry of Periods or PeriodsS3M with the row clamped to 0..15 and the note
// to 0..107, so that notes pushed off the table by relative notes, arpeggio
// offsets or loader shifts land on its nearest end instead of outside it.
constexpr int32_t PeriodAt(const PeriodTable& table, int row, int note) {
    return table.at[std::clamp(row, 0, kFinetuneRows - 1)][std::clamp(note, 0, kNotes - 1)];
}

// Amiga period of an XM note (cell note plus relative note) at an XM
// finetune (-128..127). The note is clamped to 0..119 and the finetune to
// -128..127; a negative finetune lies below its note, as a positive one
// above. Note 0 at finetune 0 gives 57976.
int32_t XMPeriod(int note, int finetune);

// XM linear periods, for songs whose header asks for the linear frequency
// table: 64 units per semitone, 768 per octave, the pitch rising as the
// period falls; C-4 (note 49) at finetune 0 is 4608, played at 8363 Hz.
// The note is clamped to 0..120.
constexpr int32_t kXMLinearMiddleC = 4608;
int32_t XMLinearPeriod(int note, int finetune);
// The period of an XM note in the song's table: linear or Amiga.
inline int32_t XMNotePeriod(bool linear, int note, int finetune) {
    return linear ? XMLinearPeriod(note, finetune) : XMPeriod(note, finetune);
}
// Playback rate in Hz of a linear period.
double XMLinearRate(int32_t period);

// Playback rate in Hz of a period: MOD and S3M clock, and the XM clock.
constexpr double kAmigaClock = 7159090.5;
constexpr double kXMClock = 28634112.0;
inline double SampleRateOfPeriod(int32_t period, bool xm) {
    return period > 0 ? (xm ? kXMClock : kAmigaClock) / period : 0.0;
}

}  // namespace moddeck
