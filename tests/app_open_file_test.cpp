#include <AL/al.h>
#include <AL/alc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/open_file.h"
#include "engine/output.h"
#include "engine/player.h"
#include "ogg/ogg_player.h"
#include "support/ogg_encoder.h"
#include "support/song_builder.h"
#include "support/xm_builder.h"

using namespace moddeck;
using namespace moddeck::test;
namespace fs = std::filesystem;

namespace {

// OpenAL writes to a wave file that nobody reads, so that sources and
// buffers really exist on a machine without a sound card.
void UseWaveOutput() {
    static bool done = false;
    if (done) return;
    done = true;
    if (std::getenv("ALSOFT_CONF")) return;
    fs::path conf = fs::temp_directory_path() / ("moddeck-app-test-" + std::to_string(getpid()) + ".conf");
    std::ofstream(conf) << "drivers = wave\nsample-type = int16\nfrequency = 44100\nchannels = stereo\n"
                           "[wave]\nfile = /dev/null\n";
    setenv("ALSOFT_CONF", conf.c_str(), 1);
}

std::vector<uint8_t> EncodeOggTone(double seconds, int rate = 44100, int channels = 2) {
    OggSpec desc;
    desc.rate = rate;
    desc.channels = channels;
    return EncodeOggVorbis(MakeTones(int(seconds * rate), channels, rate, {440.0}), desc);
}

std::string Extension(const char* path) {
    char out[kExtensionSize];
    ExtensionOf(path, out, sizeof out);
    return out;
}

class OpenFile : public ::testing::Test {
protected:
    void SetUp() override {
        UseWaveOutput();
        dir_ = fs::temp_directory_path() / ("moddeck-open-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        StopModulePlayer();
        StopOggPlayer();
        openedFile = OpenedFile{};
        fs::remove_all(dir_);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        fs::path p = dir_ / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
        return p.string();
    }
    static std::vector<uint8_t> TinyXM(const std::string& title) {
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
    // A 4-channel "M.K." module with one pattern and samples 1 and 3 holding data.
    static std::vector<uint8_t> TinyMOD() {
        std::vector<uint8_t> m(1084, 0);
        std::memcpy(m.data(), "mod title", 9);
        auto sample = [&](int slot, const char* name, uint16_t words) {
            uint8_t* h = m.data() + 20 + 30 * (slot - 1);
            std::memcpy(h, name, std::strlen(name));
            h[22] = uint8_t(words >> 8);
            h[23] = uint8_t(words);
            h[25] = 64;
            h[29] = 1;
        };
        sample(1, "kick", 16);
        sample(2, "", 0);
        sample(3, "snare", 8);
        m[950] = 1;  // song length
        m[951] = 127;
        std::memcpy(m.data() + 1080, "M.K.", 4);
        m.resize(1084 + 1024, 0);
        m.resize(m.size() + 2 * (16 + 8), 5);
        return m;
    }
    fs::path dir_;
    Player& player = ProcessPlayer();
    ModuleOutput& output = ProcessModuleOutput();
    OggPlayer& oggPlayer = ProcessOggPlayer();
};

}  // namespace

TEST(Extension, LastDotOfTheWholePathUpperCased) {
    EXPECT_EQ(Extension("/music/a.ogg"), "OGG");
    EXPECT_EQ(Extension("/music/a.OGG"), "OGG");
    EXPECT_EQ(Extension("/music/a.Ogg"), "OGG");
    EXPECT_EQ(Extension("/music/a.ogg.xm"), "XM");
    EXPECT_EQ(Extension("/music/a.og"), "OG");
    EXPECT_EQ(Extension("tune"), "TUNE");
    EXPECT_EQ(Extension("/music/set.ogg/tune"), "OGG/TUNE");
    EXPECT_EQ(Extension("a."), "");
    // Only a..z change: other bytes, UTF-8 included, stay as they are.
    EXPECT_EQ(Extension("x.\xc3\xa9z9_"), "\xc3\xa9Z9_");
}

TEST(Extension, LongExtensionIsCutAndNeverReadsAsOgg) {
    std::string path = "/x/" + std::string(3000, 'o') + "gg";
    char out[kExtensionSize];
    ExtensionOf(path.c_str(), out, sizeof out);
    EXPECT_EQ(std::strlen(out), kExtensionSize - 1);
    EXPECT_STRNE(out, "OGG");
}

TEST(CopyUtf8Bounded, CutsBeforeACharacterThatDoesNotFit) {
    char out[6];
    CopyUtf8Bounded(out, sizeof out, "abc\xe2\x82\xac!");  // euro sign straddles the end
    EXPECT_STREQ(out, "abc");
    CopyUtf8Bounded(out, sizeof out, "ab\xc3\xa9z");  // fits exactly
    EXPECT_STREQ(out, "ab\xc3\xa9z");
    CopyUtf8Bounded(out, sizeof out, "abcd\xc3\xa9");  // two-byte character cut after its lead
    EXPECT_STREQ(out, "abcd");
}

TEST_F(OpenFile, OggStreamsAreToldByTheirContentWhateverTheirName) {
    std::vector<uint8_t> ogg = EncodeOggTone(0.3);
    ASSERT_FALSE(ogg.empty());
    for (const char* name : {"tone.ogg", "tone.OGG", "bell.oga", "misnamed.xm"}) {
        std::string path = Write(name, ogg);
        EXPECT_TRUE(openFile(path.c_str()));
        EXPECT_EQ(openedFile.status, OpenStatus::OggPlaying) << name;
        EXPECT_EQ(openedFile.format, FileFormat::Ogg);
        EXPECT_EQ(openedFile.oggRate, 44100);
        EXPECT_EQ(openedFile.oggChannels, 2);
        EXPECT_TRUE(oggPlayer.OGG_Playing);
        EXPECT_FALSE(output.TAG_SONGPLAYER);
        EXPECT_STREQ(TitleSong, path.c_str());
        EXPECT_STREQ(SamplesSong, "OGG File");
        EXPECT_STREQ(fname_tmp, path.c_str());
    }
}

TEST_F(OpenFile, OtherExtensionsTakeTheModulePath) {
    std::vector<uint8_t> xm = TinyXM("named by contents");
    for (const char* name : {"tune.ogg.xm", "tune.og", "set.ogg/tune", "noextension"}) {
        std::string path = Write(name, xm);
        EXPECT_TRUE(openFile(path.c_str()));
        EXPECT_EQ(openedFile.status, OpenStatus::ModulePlaying) << name;
        EXPECT_EQ(openedFile.format, FileFormat::XM);
        EXPECT_TRUE(output.TAG_SONGPLAYER);
        EXPECT_EQ(player.Liste_mods_nm, 1) << "the song list holds the new song only";
    }
}

TEST_F(OpenFile, AboutTextsOfAnXMListNoSamples) {
    std::string path = Write("tune.xm", TinyXM("XM title"));
    openFile(path.c_str());
    ASSERT_EQ(openedFile.status, OpenStatus::ModulePlaying);
    EXPECT_STREQ(TitleSong, "XM title");
    // Its samples belong to its instruments, not to the song's own list.
    EXPECT_STREQ(SamplesSong, "");
    EXPECT_EQ(openedFile.channels, 2);
    EXPECT_EQ(openedFile.songLength, 2);
    // The instrument view lists them, each with its samples beneath it.
    ASSERT_EQ(openedFile.instruments.size(), 2u);
    EXPECT_EQ(openedFile.instruments[0].rfind("  1 ", 0), 0u) << openedFile.instruments[0];
    EXPECT_NE(openedFile.instruments[1].find("lead"), std::string::npos) << openedFile.instruments[1];
    EXPECT_GT(openedFile.seconds, 0);
}

TEST_F(OpenFile, AboutTextsOfAModListSamplesWithData) {
    std::string path = Write("tune.mod", TinyMOD());
    openFile(path.c_str());
    ASSERT_EQ(openedFile.status, OpenStatus::ModulePlaying);
    EXPECT_EQ(openedFile.format, FileFormat::MOD);
    EXPECT_STREQ(TitleSong, "mod title");
    EXPECT_STREQ(SamplesSong, "kick\nsnare\n");
}

TEST_F(OpenFile, FailedOggThenAModule) {
    std::string missing = (dir_ / "missing.ogg").string();
    EXPECT_TRUE(openFile(missing.c_str()));
    EXPECT_EQ(openedFile.status, OpenStatus::Refused);
    EXPECT_EQ(openedFile.refusal, Refusal::NoSuchFile);
    EXPECT_FALSE(oggPlayer.OGG_Playing);

    std::string notOgg = Write("text.ogg", std::vector<uint8_t>(5000, 'x'));
    openFile(notOgg.c_str());
    EXPECT_EQ(openedFile.refusal, Refusal::NotOggVorbis) << "named Ogg, it is a broken stream, not a bad module";

    // An Opus stream: refused by name, the About view keeping its path.
    std::vector<uint8_t> opus = EncodeOggTone(0.1);
    std::memcpy(opus.data() + 27 + opus[26], "OpusHead", 8);
    std::string opusPath = Write("voice.ogg", opus);
    openFile(opusPath.c_str());
    EXPECT_EQ(openedFile.status, OpenStatus::Refused);
    EXPECT_EQ(openedFile.refusal, Refusal::OggOpus);
    EXPECT_TRUE(oggPlayer.TAG_OGGPLAYER);
    EXPECT_FALSE(oggPlayer.OGG_Playing);
    EXPECT_STREQ(TitleSong, opusPath.c_str());
    EXPECT_STREQ(SamplesSong, "OGG File");

    std::string xm = Write("after.xm", TinyXM("after"));
    openFile(xm.c_str());
    EXPECT_EQ(openedFile.status, OpenStatus::ModulePlaying);
    EXPECT_FALSE(oggPlayer.TAG_OGGPLAYER);
    EXPECT_STREQ(TitleSong, "after");
}

TEST_F(OpenFile, RejectedModulePlaysNothingAndTheNextFilePlays) {
    std::string xm = Write("first.xm", TinyXM("first"));
    openFile(xm.c_str());
    ASSERT_EQ(openedFile.status, OpenStatus::ModulePlaying);

    std::string missing = (dir_ / "missing.xm").string();
    EXPECT_TRUE(openFile(missing.c_str()));
    EXPECT_EQ(openedFile.status, OpenStatus::Refused);
    EXPECT_EQ(openedFile.refusal, Refusal::NoSuchFile);
    EXPECT_FALSE(output.TAG_SONGPLAYER) << "the first module was stopped";
    EXPECT_FALSE(player.PLAYER_ON.load());
    EXPECT_EQ(player.Liste_mods_nm, 0);
    EXPECT_STREQ(TitleSong, "") << "no stale title of the stopped file";
    EXPECT_STREQ(SamplesSong, "");

    openFile(xm.c_str());
    EXPECT_EQ(openedFile.status, OpenStatus::ModulePlaying);
    EXPECT_STREQ(TitleSong, "first");
}

TEST_F(OpenFile, PathTooLongIsRefusedAfterStoppingThePreviousFile) {
    std::string xm = Write("first.xm", TinyXM("first"));
    openFile(xm.c_str());
    ASSERT_TRUE(output.TAG_SONGPLAYER);

    std::string longPath = "/" + std::string(kPathSize, 'a') + ".xm";
    EXPECT_TRUE(openFile(longPath.c_str()));
    EXPECT_EQ(openedFile.refusal, Refusal::PathTooLong);
    EXPECT_FALSE(output.TAG_SONGPLAYER);
    EXPECT_STREQ(fname_tmp, "");

    // The longest path that fits is still taken (and here not found).
    std::string fits = "/" + std::string(kPathSize - 5, 'b') + ".xm";
    ASSERT_EQ(fits.size(), kPathSize - 1);
    openFile(fits.c_str());
    EXPECT_EQ(openedFile.status, OpenStatus::Refused);
    EXPECT_STREQ(fname_tmp, fits.c_str());
}

TEST_F(OpenFile, LongOggPathTitleIsCutAtACharacterBoundary) {
    // 254 bytes then a two-byte character: byte 255 would split it.
    const std::string folder = std::string(254 - dir_.string().size() - 1, 'd') + "\xc3\xa9";
    std::string path = Write(folder + "/tone.ogg", EncodeOggTone(0.1));
    openFile(path.c_str());
    EXPECT_EQ(openedFile.status, OpenStatus::OggPlaying);
    EXPECT_EQ(std::strlen(TitleSong), 254u);
    EXPECT_EQ(std::string(TitleSong), path.substr(0, 254));
}

TEST_F(OpenFile, OpeningWhileAModulePlaysStopsItsThreadFirst) {
    std::string a = Write("a.xm", TinyXM("a"));
    std::string b = Write("b.xm", TinyXM("b"));
    openFile(a.c_str());
    ASSERT_TRUE(output.TAG_SONGPLAYER);
    ALuint first = output.source_secondary;
    ASSERT_NE(first, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    openFile(b.c_str());
    // The old thread acknowledged the stop exactly once before the new one started.
    EXPECT_EQ(player.TERMINATED.load(), 1);
    // Its source is gone (unless its name was reused for the new one).
    EXPECT_NE(output.source_secondary, 0u);
    if (output.source_secondary != first) {
        EXPECT_FALSE(alIsSource(first));
    }
    EXPECT_TRUE(output.TAG_SONGPLAYER);
    EXPECT_TRUE(player.PLAYER_ON.load());
    EXPECT_STREQ(TitleSong, "b");
}

TEST_F(OpenFile, OpeningAfterAnOggStreamEndedReleasesNothingTwice) {
    std::string ogg = Write("short.ogg", EncodeOggTone(0.1));
    openFile(ogg.c_str());
    ASSERT_EQ(openedFile.status, OpenStatus::OggPlaying);
    ALuint oggSource = oggPlayer.source_ogg;
    // Three 100 ms blocks are decoded at once: the stream has ended by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    std::string xm = Write("after.xm", TinyXM("after"));
    openFile(xm.c_str());
    EXPECT_EQ(openedFile.status, OpenStatus::ModulePlaying);
    EXPECT_FALSE(oggPlayer.OGG_Playing);
    if (oggSource != output.source_secondary) {
        EXPECT_FALSE(alIsSource(oggSource));
    }
    openFile(ogg.c_str());
    EXPECT_EQ(openedFile.status, OpenStatus::OggPlaying);
}

TEST_F(OpenFile, TheAudioDeviceIsOpenedOnce) {
    std::string xm = Write("a.xm", TinyXM("a"));
    std::string ogg = Write("a.ogg", EncodeOggTone(0.2));
    openFile(xm.c_str());
    ALCcontext* context = alcGetCurrentContext();
    ASSERT_NE(context, nullptr);
    ALCdevice* device = alcGetContextsDevice(context);
    for (int i = 0; i < 4; i++) {
        openFile((i % 2 ? ogg : xm).c_str());
        EXPECT_EQ(alcGetCurrentContext(), context);
        EXPECT_EQ(alcGetContextsDevice(alcGetCurrentContext()), device);
    }
}

TEST(IdentifyOgg, RateAndChannelsOfVorbisAndOtherCodecsByName) {
    for (auto [rate, channels] : {std::pair{44100, 2}, std::pair{22050, 1}}) {
        std::vector<uint8_t> ogg = EncodeOggTone(0.05, rate, channels);
        OggIdentity id = IdentifyOgg(ogg.data(), 64);
        EXPECT_EQ(id.refusal, Refusal::None);
        EXPECT_EQ(id.rate, rate);
        EXPECT_EQ(id.channels, channels);
        // Any cut inside the header, or a damaged signature, is no Vorbis stream.
        for (size_t n = 0; n < size_t(27 + ogg[26] + 16); n++)
            EXPECT_EQ(IdentifyOgg(ogg.data(), n).refusal, Refusal::NotOggVorbis) << n;
        ogg[28 + ogg[26]] ^= 0x20;
        EXPECT_EQ(IdentifyOgg(ogg.data(), ogg.size()).refusal, Refusal::NotOggVorbis);
        for (auto [magic, codec] : {std::pair{"OpusHead", Refusal::OggOpus}, std::pair{"\x7f" "FLAC", Refusal::OggFlac},
                                    std::pair{"Speex   ", Refusal::OggSpeex}, std::pair{"\x80theora", Refusal::OggTheora}}) {
            std::memcpy(ogg.data() + 27 + ogg[26], magic, std::strlen(magic));
            EXPECT_EQ(IdentifyOgg(ogg.data(), ogg.size()).refusal, codec) << magic;
        }
    }
}

TEST(AboutTexts, HoldTheTitleAndTheNamesOfLoadedSamples) {
    test::SongBuilder b(FileFormat::MOD, 4);
    std::strcpy(b.song().title, "Ocean Loader");
    b.AddSample(2, test::Constant(10, 1));
    b.AddSample(5, test::Constant(10, 1));
    std::strcpy(b.song().samples[2].name, "bass");
    std::strcpy(b.song().samples[5].name, "snare");
    std::strcpy(b.song().samples[7].name, "no data");
    BuildAboutTexts(b.song());
    EXPECT_STREQ(TitleSong, "Ocean Loader");
    EXPECT_STREQ(SamplesSong, "bass\nsnare\n");
}

TEST(AboutTexts, SampleNamesAreCutToTheBufferAtACharacterBoundary) {
    test::SongBuilder b(FileFormat::S3M, 1);
    std::string name;
    while (name.size() < 61) name += "\xC3\xA9";  // e acute, two bytes each
    for (int s = 1; s < kSampleSlots; s++) {
        b.AddSample(s, test::Constant(4, 1));
        std::strcpy(b.song().samples[s].name, name.c_str());
    }
    BuildAboutTexts(b.song());
    size_t len = std::strlen(SamplesSong);
    EXPECT_LE(len, static_cast<size_t>(kSamplesSize - 1));
    EXPECT_GT(len, static_cast<size_t>(kSamplesSize - 4));
    // The text never ends inside a two-byte sequence.
    size_t tail = 0;
    while (tail < len && (static_cast<unsigned char>(SamplesSong[len - 1 - tail]) & 0xC0) == 0x80) tail++;
    ASSERT_LT(tail, len);
    unsigned char lead = SamplesSong[len - 1 - tail];
    EXPECT_TRUE(lead < 0x80 || (lead >= 0xC0 && tail == 1)) << "ends on a cut sequence";
}
