// Period tables. Pitches are Amiga-style periods: a larger period is a lower
// note, and a sample plays at a clock constant divided by its period.
#pragma once

#include <cstdint>

namespace moddeck {

constexpr int kFinetuneRows = 16;  // row = finetune + 8, finetune -8..7
constexpr int kPeriodColumns = 120;
constexpr int kNotes = 108;        // note index 12*octave + semitone, 9 octaves

// One eighth of a semitone per entry over a little more than an octave.
extern const int32_t PeriodTabXM[128];

// MOD periods and S3M periods (about twice the MOD value for the same note),
// [finetune row][note]. Columns 108..119 stay 0.
extern int32_t Periods[kFinetuneRows][kPeriodColumns];
extern int32_t PeriodsS3M[kFinetuneRows][kPeriodColumns];

// Fills Periods and PeriodsS3M from PeriodTabXM. Idempotent.
void CalculesPeriodes();

// Entry of Periods or PeriodsS3M with the row clamped to 0..15 and the note
// to 0..107, so that notes pushed off the table by relative notes, arpeggio
// offsets or loader shifts land on its nearest end instead of outside it.
int32_t PeriodAt(const int32_t (&table)[kFinetuneRows][kPeriodColumns], int row, int note);

// Amiga period of an XM note (cell note plus relative note) at an XM
// finetune (-128..127). The note is clamped to 0..119 and the finetune to
// -128..127. Note 0 at finetune 0 gives 57976.
int32_t XMPeriod(int note, int finetune);

// Playback rate in Hz of a period: MOD and S3M clock, and the XM clock.
constexpr double kAmigaClock = 7159090.5;
constexpr double kXMClock = 28634112.0;
inline double SampleRateOfPeriod(int32_t period, bool xm) {
    return period > 0 ? (xm ? kXMClock : kAmigaClock) / period : 0.0;
}

}  // namespace moddeck
