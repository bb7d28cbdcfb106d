// Opening files as the player does, with no audio device: recognition by
// content, what the screen learns of the file, refusals, and one output
// thread at a time whatever was opened before.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/file_player.h"
#include "audio/file_name.h"
#include "support/mod_builder.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"
#include "support/xm_builder.h"

using namespace moddeck;
using namespace moddeck::test;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> EncodeOggTone(double seconds) {
    return EncodeOggVorbis(MakeTones(int(seconds * 44100), 2, 44100, {440.0}), OggSpec{});
}

std::vector<uint8_t> TinyXM(const std::string& title) {
    XMSpec desc;
    desc.title = title;
    desc.channels = 2;
    desc.songLength = 2;
    desc.orders = {0, 0};
    desc.patterns.push_back({4, {}});
    XMInstrumentSpec ins;
    XMSampleSpec s;
    s.bytes = std::vector<uint8_t>(64, 3);
    s.length = 64;
    s.name = "lead";
    ins.samples.push_back(s);
    desc.instruments.push_back(ins);
    return BuildXM(desc);
}

class FilePlayerTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path p = fs::path(dir_.Path()) / name;
        fs::create_directories(p.parent_path());
        EXPECT_TRUE(WriteBytes(p.string(), bytes));
        return p.string();
    }
    ScratchDir dir_;
    FilePlayer file;
    const OpenedFile& opened = file.opened();
};

}  // namespace

TEST(Extension, LastDotOfTheWholePathUpperCased) {
    EXPECT_EQ(ExtensionOf("/music/a.ogg"), "OGG");
    EXPECT_EQ(ExtensionOf("/music/a.Ogg"), "OGG");
    EXPECT_EQ(ExtensionOf("/music/a.ogg.xm"), "XM");
    EXPECT_EQ(ExtensionOf("/music/a.og"), "OG");
    EXPECT_EQ(ExtensionOf("tune"), "TUNE");
    EXPECT_EQ(ExtensionOf("/music/set.ogg/tune"), "OGG/TUNE");
    EXPECT_EQ(ExtensionOf("a."), "");
    // Only a..z change: other bytes, UTF-8 included, stay as they are.
    EXPECT_EQ(ExtensionOf("x.\xc3\xa9z9_"), "\xc3\xa9Z9_");
}

TEST(FileName, ShownWholeWithTheBytesThatAreNoCharacterEscaped) {
    EXPECT_EQ(ReadableFileName("/m\xc3\xbasica/caf\xe9.mod"), "/m\xc3\xbasica/caf\\xE9.mod");
    EXPECT_EQ(ReadableFileName("a\x1b[2J\xc3.xm"), "a\\x1B[2J\\xC3.xm");
}

// A module cut in its samples plays and says where it ends; cut in its
// patterns it is refused, saying so.
TEST_F(FilePlayerTest, ACutModuleSaysWhereItEnds) {
    std::vector<uint8_t> mod = KickSnareMOD("mod title");
    const size_t size = mod.size();
    mod.resize(size - 20);
    file.Open(Write("cut.mod", mod));
    EXPECT_EQ(opened.status, OpenStatus::ModulePlaying);
    EXPECT_EQ(opened.damage, "truncated: the samples end at byte " + std::to_string(size) + " of " +
                                 std::to_string(size - 20));
    mod.resize(1084 + 512);
    file.Open(Write("cut.mod", mod));
    EXPECT_EQ(opened.refusal, MODDECK_TRUNCATED_PATTERNS);
    EXPECT_EQ(opened.reason, "truncated: the patterns end at byte 2108 of 1596");
}

TEST_F(FilePlayerTest, OggStreamsAreToldByTheirContentWhateverTheirName) {
    const std::vector<uint8_t> ogg = EncodeOggTone(0.3);
    ASSERT_FALSE(ogg.empty());
    for (const char* name : {"tone.ogg", "tone.OGG", "bell.oga", "misnamed.xm"}) {
        const std::string path = Write(name, ogg);
        file.Open(path);
        EXPECT_EQ(opened.status, OpenStatus::OggPlaying) << name;
        EXPECT_EQ(opened.format, "Ogg Vorbis");
        EXPECT_EQ(opened.oggRate, 44100);
        EXPECT_EQ(opened.oggChannels, 2);
        EXPECT_TRUE(file.ogg().output.running());
        EXPECT_FALSE(file.moduleOutput().running());
        EXPECT_EQ(file.player(), nullptr);
        EXPECT_EQ(opened.about.title, path) << "without a TITLE comment";
        EXPECT_EQ(opened.about.samples, "");
    }
    // Its Vorbis comments: the title with its artist, every comment a line,
    // Latin-1 from an old tagger decoded and control bytes blanked.
    const std::vector<std::string> tags = {"ARTIST=Mystra", "title=Caf\xe9 \x1b[2J", "ALBUM=\xc3\xa9t\xc3\xa9"};
    file.Open(Write("tagged.ogg", EncodeOggVorbis(MakeTones(4410, 2, 44100, {440.0}), OggSpec{}, tags)));
    EXPECT_EQ(opened.about.title, "Mystra - Caf\xc3\xa9  [2J");
    EXPECT_EQ(opened.about.samples, "artist: Mystra\ntitle: Caf\xc3\xa9  [2J\nalbum: \xc3\xa9t\xc3\xa9\n");
    EXPECT_EQ(opened.about.caption, "Comments:");
}

TEST_F(FilePlayerTest, OtherNamesTakeTheModulePathWithOneOutputThreadAtATime) {
    const std::vector<uint8_t> xm = TinyXM("named by contents");
    int threads = -1;
    for (const char* name : {"tune.ogg.xm", "tune.og", "set.ogg/tune", "noextension"}) {
        file.Open(Write(name, xm));
        EXPECT_EQ(opened.status, OpenStatus::ModulePlaying) << name;
        EXPECT_EQ(opened.format, "XM");
        EXPECT_TRUE(file.moduleOutput().running());
        EXPECT_NE(file.player(), nullptr);
        // The thread of the file before was stopped before this one started.
        if (threads < 0) threads = CountThreads();
        EXPECT_EQ(CountThreads(), threads) << name;
    }
}

TEST_F(FilePlayerTest, WhatTheScreenLearnsOfAnXM) {
    file.Open(Write("tune.xm", TinyXM("XM title")));
    ASSERT_EQ(opened.status, OpenStatus::ModulePlaying);
    EXPECT_EQ(opened.about.title, "XM title");
    // The message: its instrument names, then its sample names.
    EXPECT_EQ(opened.about.samples, "instrument\n\nlead\n");
    EXPECT_EQ(opened.channels, 2);
    EXPECT_EQ(opened.orders, 2);
    // The instrument view lists them, each with its samples beneath it.
    ASSERT_EQ(opened.instruments.size(), 2u);
    EXPECT_EQ(opened.instruments[0], "  1 instrument  (1 sample)");
    EXPECT_NE(opened.instruments[1].find("lead"), std::string::npos) << opened.instruments[1];
    EXPECT_GT(opened.seconds, 0);
    EXPECT_TRUE(opened.lengthComplete);
}

TEST_F(FilePlayerTest, FailedOggThenAModule) {
    file.Open((fs::path(dir_.Path()) / "missing.ogg").string());
    EXPECT_EQ(opened.status, OpenStatus::Refused);
    EXPECT_EQ(opened.refusal, MODDECK_NO_SUCH_FILE);
    EXPECT_FALSE(file.ogg().output.running());

    file.Open(Write("text.ogg", std::vector<uint8_t>(5000, 'x')));
    EXPECT_EQ(opened.refusal, MODDECK_NOT_OGG_VORBIS) << "named Ogg, it is a broken stream, not a bad module";

    // An Opus stream: refused by name, the About view keeping its path.
    std::vector<uint8_t> opus = EncodeOggTone(0.1);
    std::memcpy(opus.data() + 27 + opus[26], "OpusHead", 8);
    const std::string opusPath = Write("voice.ogg", opus);
    file.Open(opusPath);
    EXPECT_EQ(opened.status, OpenStatus::Refused);
    EXPECT_EQ(opened.refusal, MODDECK_OGG_OPUS);
    EXPECT_FALSE(file.ogg().output.running());
    EXPECT_EQ(opened.about.title, opusPath);
    EXPECT_EQ(opened.about.samples, "");

    file.Open(Write("after.xm", TinyXM("after")));
    EXPECT_EQ(opened.status, OpenStatus::ModulePlaying);
    EXPECT_EQ(opened.about.title, "after");
}

TEST_F(FilePlayerTest, ARefusedFileStopsWhatPlayedAndLeavesNothingOfIt) {
    const std::string xm = Write("first.xm", TinyXM("first"));
    file.Open(xm);
    ASSERT_EQ(opened.status, OpenStatus::ModulePlaying);

    for (const std::string& path : {(fs::path(dir_.Path()) / "missing.xm").string(), "/" + std::string(4096, 'a')}) {
        file.Open(path);
        EXPECT_EQ(opened.status, OpenStatus::Refused);
        EXPECT_EQ(opened.refusal, path.size() > 4000 ? MODDECK_PATH_TOO_LONG : MODDECK_NO_SUCH_FILE);
        EXPECT_FALSE(file.moduleOutput().running()) << "the first module was stopped";
        EXPECT_EQ(file.player(), nullptr);
        EXPECT_EQ(opened.about.title, "") << "no stale title of the stopped file";
        EXPECT_TRUE(opened.instruments.empty());
        file.Open(xm);
        EXPECT_EQ(opened.status, OpenStatus::ModulePlaying);
        EXPECT_EQ(opened.about.title, "first");
    }
    file.OpenImage("standard input", {});
    EXPECT_EQ(opened.refusal, MODDECK_EMPTY_FILE);
    file.Open(Write("notes.xm", std::vector<uint8_t>(100, 'x')));
    EXPECT_EQ(opened.refusal, MODDECK_NOT_A_MODULE);
}

TEST_F(FilePlayerTest, LongOggPathTitleIsCutAtACharacterBoundary) {
    // 254 bytes then a two-byte character: byte 255 would split it.
    const std::string folder = std::string(254 - dir_.Path().size() - 1, 'd') + "\xc3\xa9";
    const std::string path = Write(folder + "/tone.ogg", EncodeOggTone(0.1));
    file.Open(path);
    EXPECT_EQ(opened.status, OpenStatus::OggPlaying);
    EXPECT_EQ(opened.about.title, path.substr(0, 254));
}

TEST_F(FilePlayerTest, OpeningAfterAnOggStreamEndedReleasesNothingTwice) {
    const std::string ogg = Write("short.ogg", EncodeOggTone(0.1));
    file.Open(ogg);
    ASSERT_EQ(opened.status, OpenStatus::OggPlaying);
    // Three 100 ms blocks are decoded at once: the stream has ended by now.
    for (int i = 0; i < 100 && !file.OggEnded(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(file.OggEnded());
    file.Open(Write("after.xm", TinyXM("after")));
    EXPECT_EQ(opened.status, OpenStatus::ModulePlaying);
    EXPECT_FALSE(file.ogg().output.running());
    EXPECT_FALSE(file.OggEnded());
    file.Open(ogg);
    EXPECT_EQ(opened.status, OpenStatus::OggPlaying);
}

TEST_F(FilePlayerTest, CheckPlayableTellsWhatOpenWouldWithoutTouchingWhatPlays) {
    file.Open(Write("playing.mod", KickSnareMOD("mod title")));
    ASSERT_EQ(opened.status, OpenStatus::ModulePlaying);
    EXPECT_EQ(opened.format, "MOD");
    EXPECT_EQ(opened.about.samples, "kick\n\nsnare\n");
    moddeck_player* const player = file.player();
    EXPECT_EQ(CheckPlayable(Write("a.xm", TinyXM("a")).c_str()), MODDECK_OK);
    EXPECT_EQ(CheckPlayable(Write("a.ogg", EncodeOggTone(0.1)).c_str()), MODDECK_OK);
    EXPECT_EQ(CheckPlayable(Write("bad.oga", {'x', 'y'}).c_str()), MODDECK_NOT_OGG_VORBIS);
    EXPECT_EQ(CheckPlayable(Write("bad.mod", {'x', 'y'}).c_str()), MODDECK_NOT_A_MODULE);
    EXPECT_EQ(CheckPlayable(dir_.Path().c_str()), MODDECK_IS_A_DIRECTORY);
    EXPECT_EQ(file.player(), player);
    EXPECT_EQ(opened.about.title, "mod title");
}
