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
    EXPECT_TRUE(app.about().visible());
    EXPECT_EQ(app.about().title(), "The title");
    EXPECT_EQ(app.about().samples(), (std::vector<std::string>{"one", "two"}));
    for (int close : {MainScreen::kKeyEnter, MainScreen::kKeyEscape}) {
        app.HandleKey('a');
        EXPECT_TRUE(app.HandleKey(close));
        EXPECT_FALSE(app.about().visible());
    }
    // The texts are taken afresh each time the view opens.
    std::strcpy(TitleSong, "Next");
    app.HandleKey('a');
    EXPECT_EQ(app.about().title(), "Next");
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
    EXPECT_FALSE(app.HandleKey('q'));
}
