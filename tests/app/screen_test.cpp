#include <gtest/gtest.h>

#include "app/screen.h"

using namespace moddeck;

TEST(DisplayLines, OneSampleNameALineAndNoTerminalControl) {
    EXPECT_EQ(DisplayLines("kick\nsnare\n"), (std::vector<std::string>{"kick", "snare"}));
    EXPECT_EQ(DisplayLines("kick\n\nhat"), (std::vector<std::string>{"kick", "", "hat"}));
    EXPECT_TRUE(DisplayLines("").empty());
    // An escape sequence in a sample name would otherwise drive the terminal.
    EXPECT_EQ(DisplayLines("a\x1b[2Jb\x7f\tc\n"), (std::vector<std::string>{"a?[2Jb??c"}));
    EXPECT_EQ(DisplayLines("caf\xc3\xa9"), (std::vector<std::string>{"caf\xc3\xa9"}));
}

TEST(ListView, ShowsTheTextsAndScrollsWithinTheList) {
    ListView about;
    std::string samples;
    for (int i = 0; i < 30; i++) samples += "sample " + std::to_string(i) + "\n";
    about.set({"Title", samples});
    about.show();
    EXPECT_TRUE(about.visible());
    EXPECT_EQ(about.title(), "Title");
    ASSERT_EQ(about.lines().size(), 30u);
    EXPECT_EQ(about.lines()[29], "sample 29");

    about.Scroll(-3, 10);
    EXPECT_EQ(about.firstLine(), 0);
    about.Scroll(100, 10);
    EXPECT_EQ(about.firstLine(), 20) << "the last page stays full";
    about.Scroll(-5, 10);
    EXPECT_EQ(about.firstLine(), 15);
    about.doOk();
    EXPECT_FALSE(about.visible());

    about.set({"Short", "one\n"});
    about.Scroll(5, 10);
    EXPECT_EQ(about.firstLine(), 0);
}

TEST(ScreenText, MetersAndClock) {
    EXPECT_EQ(MeterBar(0, 8), "........");
    EXPECT_EQ(MeterBar(32767, 8), "########");
    EXPECT_EQ(MeterBar(1, 8), "#.......") << "any sound shows";
    EXPECT_EQ(MeterBar(65535, 4), "####");
    EXPECT_EQ(FormatElapsed(0), "0:00");
    EXPECT_EQ(FormatElapsed(83.9), "1:23");
    EXPECT_EQ(FormatElapsed(3725), "1:02:05");
    double seconds = -1;
    for (auto [text, value] : {std::pair{"90", 90.0}, {"1:30", 90.0}, {"1:02:05.5", 3725.5}, {"0.25", 0.25}}) {
        EXPECT_TRUE(ParseElapsed(text, &seconds)) << text;
        EXPECT_DOUBLE_EQ(seconds, value) << text;
    }
    for (const char* bad : {"", "-5", "1:60", "1:2:3:4", "1.", ".5", "1:30x", "99999999", "25:00:01", "1e3"})
        EXPECT_FALSE(ParseElapsed(bad, &seconds)) << bad;

    ScreenModel m;
    m.selectedChannel = 1;
    m.peaks[1] = 32767;
    m.silenced[2] = true;
    EXPECT_EQ(MeterLine(m, 0, 4), " 1 ....");
    EXPECT_EQ(MeterLine(m, 1, 4), " 2>####") << "the chosen channel";
    EXPECT_EQ(MeterLine(m, 2, 4), " 3 ----") << "muted";
}

TEST(ScreenText, TheLoopSettingAndTheKeyLine) {
    ScreenModel m;
    m.status = OpenStatus::ModulePlaying;
    EXPECT_EQ(LoopText(m), "   Loop: file");
    m.fileCount = 3;
    m.shuffle = true;
    EXPECT_EQ(LoopText(m), "   Loop: file   Shuffle: on");
    m.status = OpenStatus::OggPlaying;
    EXPECT_EQ(LoopText(m), "   Shuffle: on") << "an Ogg stream does not loop by itself";
    m.loopMode = LoopMode::List;
    EXPECT_EQ(LoopText(m), "   Loop: list   Shuffle: on");
    EXPECT_LE(KeyBar(m).size(), 79u) << "fits 80 columns";
    EXPECT_NE(KeyBar(m).find("loop:list"), std::string::npos);
}

TEST(ScreenText, AFileThatDoesNotPlaySaysSoInOneLine) {
    ScreenModel m;
    m.file = "/music/bad.xm";
    m.status = OpenStatus::Refused;
    m.refusal = MODDECK_NOT_A_MODULE;
    EXPECT_EQ(StatusLine(m), "Cannot play /music/bad.xm: not a module.");
    m.status = OpenStatus::ModulePlaying;
    EXPECT_EQ(StatusLine(m), "Playing.");
    m.paused = true;
    EXPECT_EQ(StatusLine(m), "Paused.");
    m.noAudio = "no device";
    EXPECT_EQ(StatusLine(m), "No audio output: no device.") << "nothing pretends to play";
    m.finished = true;
    EXPECT_EQ(StatusLine(m), "Finished.") << "the device is let go at the end";
    m.stopped = true;
    EXPECT_EQ(StatusLine(m), "Stopped.");
    m.loading = true;
    EXPECT_EQ(StatusLine(m), "Loading /music/bad.xm ...") << "not what was known of the file before";
}

TEST(ScreenText, TimeAndLongFileNames) {
    ScreenModel m;
    m.seconds = 42;
    EXPECT_EQ(TimeLine(m), "0:42");
    m.length = 130;
    EXPECT_EQ(TimeLine(m), "0:42 / 2:10");
    m.loopSeconds = 15;
    EXPECT_EQ(TimeLine(m), "0:42 / 2:10, then again from 0:15");
    m.lengthComplete = false;
    EXPECT_EQ(TimeLine(m), "0:42 / over 2:10");

    const std::string path = "/home/someone/Music/a rather long folder name/caf\xc3\xa9 song.xm";
    EXPECT_EQ(ElideMiddle(path, 200), path);
    EXPECT_EQ(ElideMiddle(path, 30), "/home/someone.../caf\xc3\xa9 song.xm") << "the file name stays whole";
    EXPECT_EQ(ElideMiddle(path, 12), "... song.xm") << "never half a character";
    EXPECT_EQ(ElideMiddle(path, 3), "...");
}
