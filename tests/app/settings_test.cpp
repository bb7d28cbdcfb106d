// The settings file: what is read, what is refused, and what a save keeps.
#include <gtest/gtest.h>

#include <fstream>

#include "app/settings.h"
#include "support/ogg_reference.h"

using namespace moddeck;

TEST(Settings, ReadsWhatItKnowsKeepsTheRestAndTrustsNoBadValue) {
    test::ScratchDir dir;
    const std::string path = dir.File("config/moddeck/settings");
    Settings settings;
    EXPECT_TRUE(settings.Load(path)) << "no file yet: no settings";
    EXPECT_FALSE(settings.Get("volume"));

    settings.Set("volume", "-7");
    settings.Set("loop", "list");
    ASSERT_TRUE(settings.Save(path)) << "the folders are made";
    {
        std::ofstream out(path, std::ios::app);
        out << "# a comment\nquality = high\nvolume=  -9  \nno value here\nloop = sideways\n";
    }
    ASSERT_TRUE(settings.Load(path));
    EXPECT_EQ(settings.GetInt("volume", -60, 6), -9) << "the last line wins";
    EXPECT_EQ(settings.Get("loop"), "sideways") << "the caller judges the value";
    EXPECT_FALSE(settings.GetInt("loop", -60, 6));
    settings.Set("volume", "100");
    EXPECT_FALSE(settings.GetInt("volume", -60, 6)) << "out of range";
    settings.Set("volume", "3");
    ASSERT_TRUE(settings.Save(path));
    ASSERT_TRUE(settings.Load(path));
    EXPECT_EQ(settings.GetInt("volume", -60, 6), 3);
    EXPECT_EQ(settings.Get("quality"), "high") << "a line it does not know is kept";

    std::ofstream(path) << std::string(Settings::kMaxFileBytes + 1, 'x');
    EXPECT_FALSE(settings.Load(path));
    EXPECT_FALSE(settings.Get("quality"));
    std::ofstream(dir.File("plain")) << "a file, not a folder";
    EXPECT_FALSE(settings.Save(dir.File("plain/settings")));
}
