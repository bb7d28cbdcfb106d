// The application as its event loop drives it, with no terminal and no
// audio device: keys, the views, the volume and loop settings, and the move
// on when a module that does not loop has ended.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "app/application.h"
#include "app/signals.h"
#include "support/mod_builder.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

using namespace moddeck;
using namespace moddeck::test;

namespace {

class ApplicationTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        EXPECT_TRUE(WriteBytes(dir_.File(name), bytes));
        return dir_.File(name);
    }
    // Runs the loop's bookkeeping until `done` holds, for up to five seconds.
    template <typename Done>
    bool UpdateUntil(Done done) {
        for (int i = 0; i < 500 && !done(); i++) {
            app.Update();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }
    ScratchDir dir_;
    Application app{nullptr, false};
};

}  // namespace

TEST_F(ApplicationTest, AboutShowsTheTextsOfTheFileThatPlaysAndClosesOnEnterOrEscape) {
    app.Play({Write("first.mod", KickSnareMOD("The title", 1))});
    EXPECT_TRUE(app.HandleKey('a'));
    EXPECT_TRUE(app.view().visible());
    EXPECT_EQ(app.view().title(), "The title");
    EXPECT_EQ(app.view().lines(), (std::vector<std::string>{"kick", "", "snare"})) << "empty slots included";
    for (int close : {MainScreen::kKeyEnter, MainScreen::kKeyEscape}) {
        app.HandleKey('a');
        EXPECT_TRUE(app.HandleKey(close));
        EXPECT_FALSE(app.view().visible());
    }
    // The texts follow the file.
    app.Play({Write("next.mod", KickSnareMOD("Next", 1))});
    app.HandleKey('a');
    EXPECT_EQ(app.view().title(), "Next");
    EXPECT_EQ(app.Model().format, "MOD");
}

TEST_F(ApplicationTest, EveryPressOfAnOrderKeyStepsTheModuleOneEntry) {
    app.Play({Write("three.mod", KickSnareMOD("three", 3))});
    ASSERT_EQ(app.Model().orders, 3);
    app.HandleKey('a');
    for (int key : {int('+'), MainScreen::kKeyRight, int('-')})
        EXPECT_TRUE(app.HandleKey(key)) << "the About view does not swallow the song keys";
    // Without a device the output thread renders three blocks and no more:
    // once it is stopped the test renders the player itself.
    const_cast<ModuleOutput&>(app.file().moduleOutput()).Stop();
    int16_t block[kModuleBlockSamples];
    RenderModuleBlock(app.file().player(), block);
    EXPECT_EQ(app.Model().order, 1) << "three presses, three steps";
    for (int key : {MainScreen::kKeyLeft, int('-')}) app.HandleKey(key);
    RenderModuleBlock(app.file().player(), block);
    EXPECT_EQ(app.Model().order, 0) << "no step below the first entry";
    EXPECT_FALSE(app.HandleKey('q'));
}

TEST_F(ApplicationTest, ListsPlayOnceThroughOneFileLoopsAndTheLoopKeyCycles) {
    const std::string last = Write("long.mod", KickSnareMOD("long", 2));
    app.Play({Write("short.mod", KickSnareMOD("short", 1, 2)), last});
    EXPECT_EQ(app.loopMode(), LoopMode::Off) << "several files play once each";
    // Two rows of one tick: over within the first block, heard 300 ms later.
    EXPECT_TRUE(UpdateUntil([&] { return app.playlist().index() == 1; }));
    EXPECT_EQ(app.Model().file, last);
    EXPECT_FALSE(app.Model().finished);

    const std::string alone = Write("alone.mod", KickSnareMOD("alone", 1, 2));
    app.Play({alone});
    EXPECT_EQ(app.loopMode(), LoopMode::File) << "one file loops";
    EXPECT_FALSE(UpdateUntil([&] { return app.Model().finished; }));
    app.HandleKey('l');
    EXPECT_EQ(app.loopMode(), LoopMode::List);
    app.HandleKey('l');
    EXPECT_EQ(app.loopMode(), LoopMode::Off);
    app.Play({alone});  // without a device only the first blocks are rendered
    EXPECT_TRUE(UpdateUntil([&] { return app.Model().finished; }));
    EXPECT_EQ(StatusLine(app.Model()), "Finished.");
    EXPECT_EQ(app.nowPlaying().status, NowPlaying::Status::Stopped);
    EXPECT_TRUE(app.HandleKey('.'));
    EXPECT_NE(app.Model().message.find("ended"), std::string::npos) << "a key that cannot act says why";
    app.SetLoopMode(LoopMode::File);
    EXPECT_FALSE(app.Model().finished) << "looping again, it starts over";
    EXPECT_TRUE(app.loopChosen());
    app.Play({alone, last});
    EXPECT_EQ(app.loopMode(), LoopMode::File) << "a mode chosen holds for the next list";

    // Looping the list, the end of the last file goes round to the first.
    app.SetLoopMode(LoopMode::List);
    app.Play({last, alone});
    app.HandleKey('n');
    EXPECT_TRUE(UpdateUntil([&] { return app.playlist().index() == 0; }));
}

TEST_F(ApplicationTest, VolumeLoopPauseAndTheViews) {
    for (int i = 0; i < 10; i++) app.HandleKey('*');
    EXPECT_EQ(app.volumeDb(), kMaxVolumeDb);
    EXPECT_NE(app.Model().message.find("highest"), std::string::npos);
    app.HandleKey('/');
    app.HandleKey('9');
    EXPECT_EQ(app.volumeDb(), kMaxVolumeDb - 2);
    for (int i = 0; i < 100; i++) app.HandleKey('9');
    EXPECT_EQ(app.volumeDb(), kMinVolumeDb);
    app.HandleKey('0');
    EXPECT_EQ(app.volumeDb(), kMinVolumeDb + 1);

    app.HandleKey(' ');
    EXPECT_FALSE(app.paused()) << "nothing plays: nothing to pause";
    EXPECT_TRUE(app.HandleKey('+')) << "nor to step";
    EXPECT_NE(app.Model().message.find("No module plays"), std::string::npos);

    app.HandleKey('?');
    EXPECT_EQ(app.view().heading(), "Keys");
    EXPECT_TRUE(app.view().visible());
    app.HandleKey('i');
    EXPECT_EQ(app.view().heading(), "Instruments");
    app.HandleKey(MainScreen::kKeyEscape);
    EXPECT_FALSE(app.view().visible());
    EXPECT_TRUE(app.HandleKey(MainScreen::kKeyOther));  // a function key
    app.HandleKey('z');
    EXPECT_NE(app.Model().message.find("h shows the keys"), std::string::npos);
}

TEST_F(ApplicationTest, SeekSubsongsMuteAndSoloReachTheModule) {
    // Order 0 jumps to itself: order 1 is a second subsong.
    MODSpec desc;
    desc.songLength = 2;
    desc.orders = {0, 1};
    desc.samples = {{"tone", 16, 0, 64, 0, 1, std::vector<uint8_t>(32, 40)}};
    desc.patterns = {EmptyMODPattern(4), EmptyMODPattern(4)};
    SetMODCell(desc.patterns[0], 4, 63, 0, 0, 0, 0xB, 0);
    app.Play({Write("two.mod", BuildMOD(desc))});
    EXPECT_EQ(app.Model().subsongs, 2);
    EXPECT_TRUE(app.SeekTo(1));
    app.HandleKey('>');
    app.HandleKey(',');
    // The output thread takes the requests, device or not.
    EXPECT_TRUE(UpdateUntil([&] { return !app.file().MovePending(); }));
    EXPECT_NEAR(app.Model().seconds, 6, 0.03) << "presses add up, taken or not";
    app.HandleKey(']');
    app.HandleKey(']');
    EXPECT_NE(app.Model().message.find("last subsong"), std::string::npos);
    EXPECT_TRUE(UpdateUntil([&] { return !app.file().MovePending(); }));
    EXPECT_EQ(app.Model().order, 1);
    EXPECT_EQ(app.Model().subsong, 1);

    app.HandleKey(MainScreen::kKeyDown);
    app.HandleKey('m');
    EXPECT_TRUE(app.Model().silenced[1]);
    EXPECT_FALSE(app.Model().silenced[0]);
    app.HandleKey(MainScreen::kKeyUp);
    app.HandleKey('o');
    EXPECT_FALSE(app.Model().silenced[0]);
    EXPECT_TRUE(app.Model().silenced[2]) << "alone: every other channel is silenced";
    app.HandleKey('m');
    EXPECT_NE(app.Model().message.find("plays alone"), std::string::npos);
    app.HandleKey('o');
    EXPECT_FALSE(app.Model().silenced[2]);
    EXPECT_TRUE(app.Model().silenced[1]) << "and the mute is back";

    app.Play({Write("tone.ogg", EncodeOggVorbis(MakeTones(44100, 2, 44100, {440.0}), OggSpec{}))});
    for (int key : {int('+'), int(']'), int('m')}) {
        app.HandleKey(key);
        EXPECT_NE(app.Model().message, "") << "key " << char(key) << " says why it cannot act";
    }
    EXPECT_TRUE(app.SeekBy(0.5));
    EXPECT_TRUE(app.nowPlaying().canSeek);
    EXPECT_NEAR(app.nowPlaying().position, 0.5, 0.1);
}

using ApplicationDeathTest = ApplicationTest;  // in a child: a quit signal is for good
TEST_F(ApplicationDeathTest, AQuitSignalDuringALoadEndsTheListWithoutAWord) {
    const std::vector<std::string> files = {Write("a.mod", KickSnareMOD("a", 1)), Write("b.mod", KickSnareMOD("b", 1))};
    EXPECT_EXIT((InstallSignalHandlers(), raise(SIGTERM), app.Play(files), std::_Exit(0)), ::testing::ExitedWithCode(0),
                "^$");
}
