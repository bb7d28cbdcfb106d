#include <gtest/gtest.h>

#include "app/keys.h"
#include "app/open_file.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "support/song_builder.h"

using namespace moddeck;

namespace {

// The application's player plays a song of three orders of one long
// pattern; a press is answered by the renderer's next block.
class Keys : public ::testing::Test {
protected:
    void SetUp() override {
        test::StartSong(player, song.song());
        openedFile = OpenedFile{};
        openedFile.status = OpenStatus::ModulePlaying;
        keyDown = 0;
    }
    void TearDown() override {
        openedFile = OpenedFile{};
        test::StopSong(player);
        keyDown = 0;
    }
    int32_t Press(uint32_t key) {
        RecordKey(key);
        ApplyKeys();
        MixNext(player);
        return player.pattern.load();
    }
    test::SongBuilder song{FileFormat::MOD, 1, 3};
    Player& player = ProcessPlayer();
};

}  // namespace

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
    MixNext(player);
    EXPECT_EQ(player.pattern.load(), 1);
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
    for (OpenStatus s : {OpenStatus::Idle, OpenStatus::OggPlaying, OpenStatus::Refused}) {
        openedFile.status = s;
        EXPECT_EQ(Press('+'), 0);
        EXPECT_EQ(keyDown, 0u);
    }
}
