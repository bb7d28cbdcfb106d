#include <gtest/gtest.h>

#include "song/periods.h"

using namespace moddeck;

TEST(PeriodTables, TellingValues) {
    // Twice the Amiga periods: C-1 856 .. B-1 453; finetune 0 as the cells hold them.
    const int32_t octave[12] = {1814, 1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960};
    for (int s = 0; s < 12; s++) EXPECT_EQ(Periods[8][36 + s], octave[s]) << s;
    const int32_t bs[9] = {14512, 7256, 3628, 1814, 906, 452, 226, 113, 56};
    for (int o = 0; o < 9; o++) EXPECT_EQ(Periods[8][12 * o], bs[o]) << o;
    EXPECT_EQ(Periods[8][107], 30);
    // A finetune step is an eighth of a semitone: -8 plays the semitone below.
    EXPECT_EQ(Periods[9][49], 850);
    EXPECT_EQ(Periods[15][49], 814);
    EXPECT_EQ(Periods[0][49], 907);  // B-1 at 453.5: the half is kept
    EXPECT_EQ(Periods[8][65], 340);  // E-3: 170, not 678 / 4 truncated
    EXPECT_EQ(Periods[11][62], 395);  // C#-3 at +3: 197.75, to the half below
}

TEST(PeriodTables, RowsStepByEighthsAndLeaveTheTailEmpty) {
    for (int r = 1; r < 8; r++)
        for (int n = 0; n + 1 < kNotes; n++)
            if (n % 12 != 11) {
                EXPECT_EQ(Periods[r + 8][n], Periods[r][n + 1]) << r << " " << n;
            }
    for (int r = 0; r < kFinetuneRows; r++)
        for (int n = kNotes; n < kPeriodColumns; n++) EXPECT_EQ(Periods[r][n], 0);
}

TEST(PeriodTables, LookupsClampToTheTable) {
    EXPECT_EQ(PeriodAt(Periods, 8, -5), Periods[8][0]);
    EXPECT_EQ(PeriodAt(Periods, 8, 500), Periods[8][107]);
    EXPECT_EQ(PeriodAt(Periods, -3, 0), Periods[0][0]);
    EXPECT_EQ(PeriodAt(Periods, 99, 0), Periods[15][0]);
}

TEST(XMPeriods, AmigaPeriodOfNotes) {
    EXPECT_EQ(XMPeriod(0, 0), 58048);
    EXPECT_EQ(XMPeriod(0, -128), 61440);
    EXPECT_EQ(XMPeriod(48, 0), 3628);
    EXPECT_EQ(XMPeriod(49, 0), 3424);  // C-4, 8363 Hz
    // Half way between two table entries at finetune +8 (weight 0.5).
    EXPECT_EQ(XMPeriod(48, 8), 3614);
    // A negative finetune lies below the note: -24 is half way from -32 to -16.
    EXPECT_EQ(XMPeriod(48, -24), 3668);
    EXPECT_GT(XMPeriod(48, -1), XMPeriod(48, 0));
    // Linear periods: 64 units a semitone, C-4 at 4608 and 8363 Hz.
    EXPECT_EQ(XMLinearPeriod(49, 0), 4608);
    EXPECT_EQ(XMLinearPeriod(61, -128), 4608 - 768 + 64);
    EXPECT_DOUBLE_EQ(XMLinearRate(4608 - 768), 2 * 8363.0);
    // Notes pushed outside 0..119 by a relative note stay on the table.
    EXPECT_EQ(XMPeriod(-40, 0), XMPeriod(0, 0));
    EXPECT_EQ(XMPeriod(300, 127), XMPeriod(119, 127));
    EXPECT_GT(XMPeriod(119, 127), 0);
}

// S3M periods straight from the middle-C rate, truncated as the tracker
// has them, never below 64.
TEST(S3MPeriods, FromTheMiddleCRate) {
    EXPECT_EQ(S3MPeriod(48, 8363), 1712);
    EXPECT_EQ(S3MPeriod(60, 8363), 856);
    EXPECT_EQ(S3MPeriod(48, 16726), 856);
    EXPECT_EQ(S3MPeriod(48, 8000), 1789);
    EXPECT_EQ(S3MPeriod(60, 8000), 894);
    EXPECT_EQ(S3MPeriod(72, 11025), 324);
    EXPECT_EQ(S3MPeriod(91, 8000), 148);
    EXPECT_EQ(S3MPeriod(91, 22050), 64);
    EXPECT_EQ(S3MPeriod(48, 0), 1712);
    EXPECT_EQ(S3MPeriod(48, -5), 1712);
    EXPECT_EQ(S3MPeriod(500, 1), S3MPeriod(107, 1));
    EXPECT_EQ(S3MPeriod(0, INT32_MAX), 64);
}

TEST(XMPeriods, SampleRate) {
    EXPECT_DOUBLE_EQ(SampleRateOfPeriod(428, PeriodSystem::Amiga), 7159090.5 / 428);
    EXPECT_DOUBLE_EQ(SampleRateOfPeriod(1712, PeriodSystem::S3M), 14317056.0 / 1712);
    EXPECT_DOUBLE_EQ(SampleRateOfPeriod(1712, PeriodSystem::XM), 28634112.0 / 1712);
    EXPECT_EQ(SampleRateOfPeriod(0, PeriodSystem::XM), 0.0);
}
