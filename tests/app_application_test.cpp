#include <gtest/gtest.h>

#include <cstring>

#include "app/application.h"
#include "app/keys.h"
#include "engine/player.h"

using namespace moddeck;

namespace {

class ApplicationKeys : public ::testing::Test {
protected:
    void SetUp() override {
        keyDown = 0;
        std::strcpy(TitleSong, "The title");
        std::strcpy(SamplesSong, "one\ntwo\n");
    }
    void TearDown() override {
        keyDown = 0;
        TitleSong[0] = SamplesSong[0] = '\0';
    }
    Application app{nullptr, false};
};

}  // namespace

TEST_F(ApplicationKeys, AboutOpensWithTheCurrentTextsAndClosesOnEnterOrEscape) {
    EXPECT_TRUE(app.HandleKey('a'));
    EXPECT_TRUE(app.view().visible());
    EXPECT_EQ(app.view().title(), "The title");
    EXPECT_EQ(app.view().lines(), (std::vector<std::string>{"one", "two"}));
    for (int close : {MainScreen::kKeyEnter, MainScreen::kKeyEscape}) {
        app.HandleKey('a');
        EXPECT_TRUE(app.HandleKey(close));
        EXPECT_FALSE(app.view().visible());
    }
    // The texts are taken afresh each time the view opens.
    std::strcpy(TitleSong, "Next");
    app.HandleKey('a');
    EXPECT_EQ(app.view().title(), "Next");
}

TEST_F(ApplicationKeys, KeysReachTheRecorderAndQQuits) {
    EXPECT_TRUE(app.HandleKey('+'));
    EXPECT_EQ(keyDown, uint32_t('+'));
    EXPECT_TRUE(app.HandleKey(MainScreen::kKeyOther));  // a function key
    EXPECT_TRUE(app.HandleKey('z'));
    EXPECT_EQ(keyDown, uint32_t('+'));
    app.HandleKey('a');
    EXPECT_TRUE(app.HandleKey('-')) << "the About view does not swallow the song keys";
    EXPECT_EQ(keyDown, uint32_t('-'));
    app.HandleKey(MainScreen::kKeyRight);
    EXPECT_EQ(keyDown, uint32_t('+')) << "Right is +";
    EXPECT_FALSE(app.HandleKey('q'));
}

TEST_F(ApplicationKeys, VolumeLoopPauseAndTheViews) {
    for (int i = 0; i < 10; i++) app.HandleKey('*');
    EXPECT_EQ(app.volumeDb(), kMaxVolumeDb);
    app.HandleKey('/');
    app.HandleKey('9');
    EXPECT_EQ(app.volumeDb(), kMaxVolumeDb - 2);
    for (int i = 0; i < 100; i++) app.HandleKey('9');
    EXPECT_EQ(app.volumeDb(), kMinVolumeDb);
    app.HandleKey('0');
    EXPECT_EQ(app.volumeDb(), kMinVolumeDb + 1);

    EXPECT_TRUE(app.loop());
    app.HandleKey('l');
    EXPECT_FALSE(app.loop());
    app.HandleKey(' ');
    EXPECT_FALSE(app.paused()) << "nothing plays: nothing to pause";

    app.HandleKey('?');
    EXPECT_EQ(app.view().heading(), "Keys");
    EXPECT_TRUE(app.view().visible());
    app.HandleKey('i');
    EXPECT_EQ(app.view().heading(), "Instruments");
    app.HandleKey(MainScreen::kKeyEscape);
    EXPECT_FALSE(app.view().visible());
    app.HandleKey('z');
    EXPECT_NE(app.Model().message.find("h shows the keys"), std::string::npos);
}
