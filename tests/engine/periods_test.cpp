#include <gtest/gtest.h>

#include "song/periods.h"

using namespace moddeck;

TEST(PeriodTables, TellingValues) {
    const int32_t octave0[12] = {14494, 13680, 12913, 12188, 11504, 10858, 10249, 9673, 9130, 8618, 8134, 7678};
    for (int s = 0; s < 12; s++) EXPECT_EQ(Periods[8][s], octave0[s]) << s;
    const int32_t cs[9] = {14494, 7247, 3623, 1811, 905, 452, 226, 113, 56};
    for (int o = 0; o < 9; o++) EXPECT_EQ(Periods[8][12 * o], cs[o]) << o;
    EXPECT_EQ(Periods[8][107], 29);
    EXPECT_EQ(Periods[0][0], 14919);
    EXPECT_EQ(Periods[15][95], 58);

    const int32_t s3m0[12] = {28988, 27360, 25826, 24376, 23008, 21716, 20498, 19346, 18260, 17236, 16268, 15356};
    for (int s = 0; s < 12; s++) EXPECT_EQ(PeriodsS3M[8][s], s3m0[s]) << s;
    EXPECT_EQ(PeriodsS3M[0][0], 29838);
}

TEST(PeriodTables, RowsShareTheirSourceAndLeaveTheTailEmpty) {
    for (int n = 0; n < kPeriodColumns; n++) EXPECT_EQ(Periods[7][n], Periods[9][n]) << n;
    for (int r = 0; r < kFinetuneRows; r++)
        for (int n = kNotes; n < kPeriodColumns; n++) EXPECT_EQ(Periods[r][n], 0);
    for (int n = 0; n < kNotes; n++) {
        int32_t twice = Periods[8][n] * 2;
        EXPECT_TRUE(PeriodsS3M[8][n] == twice || PeriodsS3M[8][n] == twice + 1) << n;
    }
    // Below row 8 an odd row is higher (shorter periods) than the even row after it.
    EXPECT_LT(Periods[1][0], Periods[2][0]);
    EXPECT_LT(Periods[5][0], Periods[6][0]);
}

TEST(PeriodTables, LookupsClampToTheTable) {
    EXPECT_EQ(PeriodAt(Periods, 8, -5), Periods[8][0]);
    EXPECT_EQ(PeriodAt(Periods, 8, 500), Periods[8][107]);
    EXPECT_EQ(PeriodAt(Periods, -3, 0), Periods[0][0]);
    EXPECT_EQ(PeriodAt(PeriodsS3M, 99, 0), PeriodsS3M[15][0]);
}

TEST(XMPeriods, AmigaPeriodOfNotes) {
    EXPECT_EQ(XMPeriod(0, 0), 57976);
    EXPECT_EQ(XMPeriod(0, -128), 61424);
    EXPECT_EQ(XMPeriod(48, 0), 3623);
    // Half way between two table entries at finetune +8 (weight 0.5).
    EXPECT_EQ(XMPeriod(48, 8), 3610);
    // A negative finetune lies below the note: -24 is half way from -32 to -16.
    EXPECT_EQ(XMPeriod(48, -24), 3662);
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

TEST(XMPeriods, SampleRate) {
    EXPECT_DOUBLE_EQ(SampleRateOfPeriod(428, false), 7159090.5 / 428);
    EXPECT_DOUBLE_EQ(SampleRateOfPeriod(1712, true), 28634112.0 / 1712);
    EXPECT_EQ(SampleRateOfPeriod(0, true), 0.0);
}
