// Period tables. Pitches are Amiga-style periods: a larger period is a lower
// note, and a sample plays at a clock constant divided by its period. The
// tables are constants, computed by the compiler.
#pragma once

#include <algorithm>
#include <cstdint>

#include "song/song.h"

namespace moddeck {

constexpr int kFinetuneRows = 16;  // row = finetune + 8, finetune -8..7
constexpr int kPeriodColumns = 120;
constexpr int kNotes = 108;        // note index 12*octave + semitone, 9 octaves

// The Amiga trackers' periods of one octave in eighths of a semitone (one
// finetune step each): from B below C-1 up to A#-1 at finetune +7, C-1 at
// finetune 0 being entry 8 (856).
inline constexpr int16_t kAmigaOctave[96] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814,
    808, 802, 796, 791, 785, 779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725,
    720, 715, 709, 704, 699, 694, 689, 684, 678, 675, 670, 665, 660, 655, 651, 646,
    640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580, 575,
    570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513,
    508, 505, 502, 498, 494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457,
};

// Sixteen times the Amiga octave, one octave further each side, so that an
// XM note's finetune may reach an eighth below B or above A# (entry 16 is C).
constexpr int32_t AmigaEighth(int i) {
    return i < 8 ? 32 * kAmigaOctave[i + 88] : i < 104 ? 16 * kAmigaOctave[i - 8] : 8 * kAmigaOctave[i - 104];
}
constexpr auto MakePeriodTabXM() {
    struct { int32_t at[128]; } t{};
    for (int i = 0; i < 128; i++) t.at[i] = AmigaEighth(i);
    return t;
}
inline constexpr auto kPeriodTabXM = MakePeriodTabXM();
inline constexpr const int32_t (&PeriodTabXM)[128] = kPeriodTabXM.at;

// A table of periods by [finetune row][note]. Columns 108..119 stay 0.
struct PeriodTable {
    int32_t at[kFinetuneRows][kPeriodColumns];
    constexpr const int32_t* operator[](int row) const { return at[row]; }
};

struct PeriodTables {
    PeriodTable mod;  // MOD periods
};

// The periods a MOD's cells hold at finetune 0, C-1 to B-3: the trackers
// rounded each on its own, so they are not the octave table halved.
inline constexpr int16_t kAmigaNotePeriods[36] = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113,
};
constexpr int kFirstAmigaNote = 37;  // C-1 in the tables' note numbers

// Both tables from PeriodTabXM: row r plays r - 8 eighths of a semitone
// from the note, as the Amiga trackers' finetune does. A MOD period is
// twice an Amiga one: finetune 0 plays the periods the cells hold, the
// other rows the octave table halved per octave (the half kept).
constexpr PeriodTables CalculesPeriodes() {
    PeriodTables t{};
    for (int r = 0; r < kFinetuneRows; r++)
        for (int o = 0; o < 9; o++)
            for (int s = 0; s < 12; s++) {
                const int n = 12 * o + s, cell = n - kFirstAmigaNote;
                const int32_t sixteenfold = PeriodTabXM[r + 8 * s];  // 16 times the Amiga period, octave 1
                t.mod.at[r][n] = r == 8 && cell >= 0 && cell < 36 ? 2 * kAmigaNotePeriods[cell] : sixteenfold >> o;
            }
    return t;
}

inline constexpr PeriodTables kPeriodTables = CalculesPeriodes();
inline constexpr const PeriodTable& Periods = kPeriodTables.mod;

// Entry of Periods with the row clamped to 0..15 and the note to 0..107, so
// that notes pushed off the table by arpeggio offsets land on its nearest
// end instead of outside it.
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

// S3M periods come from the sample's middle-C rate, as the tracker worked
// them out: 8363 * 16 times its period of the semitone, halved per octave,
// over the rate, truncated; C-4 at 8363 Hz is 1712. A rate of 0 or less is
// taken as 8363, the note is clamped to 0..107, and no period is below 64.
constexpr int32_t kS3MMiddleCRate = 8363, kS3MMinNotePeriod = 64;
int32_t S3MPeriod(int note, int32_t c2spd);

// IT notes 0..119, C-5 (60) playing at the sample's C-5 rate. Without
// linear slides a note's period is the S3M one one octave on (C-5 sounds
// where S3M's C-4 does), with no floor but 1; with them it is a linear period
// of 64 units a semitone, note 0 at 7680, the pitch rising as it falls.
constexpr int kITNotes = 120, kITMiddleC = 60;
constexpr int32_t kITLinearLowest = 7680, kITLinearSemitone = 64;
int32_t ITAmigaPeriod(int note, int32_t c2spd);
int32_t ITLinearPeriod(int note);
// Playback rate in Hz of a linear period for a sample of C-5 rate c2spd
// (8363 Hz when 0 or less).
double ITLinearRate(int32_t period, int32_t c2spd);

// Playback rate in Hz of a period of `system`: the clocks of the Amiga
// table, the S3M table and XM's Amiga periods.
constexpr double kAmigaClock = 7159090.5;
constexpr double kS3MClock = 14317056.0;
constexpr double kXMClock = 28634112.0;
inline double SampleRateOfPeriod(int32_t period, PeriodSystem system) {
    const double clock = system == PeriodSystem::XM                                 ? kXMClock
                         : system == PeriodSystem::S3M || system == PeriodSystem::IT ? kS3MClock
                                                                                      : kAmigaClock;
    return period > 0 ? clock / period : 0.0;
}

}  // namespace moddeck
