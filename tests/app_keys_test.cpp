#include <gtest/gtest.h>

#include "app/keys.h"
#include "app/open_file.h"
#include "engine/state.h"

using namespace moddeck;

namespace {

class Keys : public ::testing::Test {
protected:
    void SetUp() override {
        openedFile = OpenedFile{};
        openedFile.status = OpenStatus::ModulePlaying;
        openedFile.songLength = 3;
        pattern = 0;
        keyDown = 0;
    }
    void TearDown() override {
        openedFile = OpenedFile{};
        pattern = 0;
        keyDown = 0;
    }
    int32_t Press(uint32_t key) {
        RecordKey(key);
        ApplyKeys();
        return pattern.load();
    }
};

}  // namespace

TEST(StepOrder, StopsAtBothEnds) {
    EXPECT_EQ(StepOrder(0, +1, 3), 1);
    EXPECT_EQ(StepOrder(2, +1, 3), 2);
    EXPECT_EQ(StepOrder(0, -1, 3), 0);
    EXPECT_EQ(StepOrder(2, -1, 3), 1);
    // A position the song no longer has comes back inside the table.
    EXPECT_EQ(StepOrder(40, -1, 3), 2);
    EXPECT_EQ(StepOrder(-5, +1, 3), 0);
    EXPECT_EQ(StepOrder(INT32_MAX, +1, 3), 2);
    EXPECT_EQ(StepOrder(5, +1, 0), 0);
}

TEST_F(Keys, PlusAndMinusMoveOneEntryWithinTheSong) {
    EXPECT_EQ(Press('+'), 1);
    EXPECT_EQ(keyDown, 0u) << "a step consumes the key";
    EXPECT_EQ(Press('+'), 2);
    EXPECT_EQ(Press('+'), 2) << "the last entry is the end";
    EXPECT_EQ(Press('-'), 1);
    EXPECT_EQ(Press('-'), 0);
    EXPECT_EQ(Press('-'), 0) << "never below the first entry";
}

TEST_F(Keys, KeysRecordedWithinOneTurnGiveOneStep) {
    RecordKey('+');
    RecordKey('+');
    RecordKey('+');
    ApplyKeys();
    ApplyKeys();
    EXPECT_EQ(pattern.load(), 1);
}

TEST_F(Keys, SpaceIsRecordedAndChangesNothing) {
    EXPECT_EQ(Press(' '), 0);
    EXPECT_EQ(keyDown, uint32_t(' ')) << "it stays until another key replaces it";
    EXPECT_EQ(Press('x'), 0);
    EXPECT_EQ(keyDown, uint32_t(' ')) << "letters are not recorded";
    EXPECT_EQ(Press('7'), 0);
    EXPECT_EQ(keyDown, uint32_t(' '));
    EXPECT_EQ(Press('+'), 1);
}

TEST_F(Keys, WithoutAModuleTheKeyIsConsumedAndThePositionKept) {
    for (OpenStatus s : {OpenStatus::Idle, OpenStatus::OggPlaying, OpenStatus::ModuleRejected}) {
        openedFile.status = s;
        pattern = 0;
        EXPECT_EQ(Press('+'), 0);
        EXPECT_EQ(keyDown, 0u);
    }
}
