// Whole renders: small songs of each kind rendered for a few blocks and
// compared with checksums taken once from renders whose samples were looked
// at (the first frame of the MOD and XM renders worked out by hand: gain,
// panning, halving and clamp); the fast mixer against the plain one;
// hostile records under the sanitizer build; the song's start; a module
// file through the loader entry and the renderer program.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/effects.h"
#include "engine/mixer.h"
#include "engine/player.h"
#include "engine/replay.h"
#include "loaders/commands.h"
#include "loaders/loaders.h"
#include "support/minimal_files.h"
#include "support/mod_builder.h"
#include "support/player_fixture.h"
#include "support/s3m_builder.h"
#include "support/song_builder.h"
#include "support/xm_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::Ramp;
using test::SongBuilder;

// One cycle of a 64-frame triangle, a looping tone for every kind.
std::vector<int16_t> Triangle() {
    std::vector<int16_t> v(64);
    for (int i = 0; i < 64; i++) v[i] = static_cast<int16_t>((i < 32 ? i : 64 - i) * 1500 - 24000);
    return v;
}

// A decaying noise burst, a one-shot drum.
std::vector<int16_t> Burst() {
    std::vector<int16_t> v(3000);
    uint32_t x = 12345;
    for (int i = 0; i < 3000; i++) {
        x = x * 1103515245u + 12345u;
        v[i] = static_cast<int16_t>((static_cast<int32_t>(x >> 16) - 32768) * (3000 - i) / 3000);
    }
    return v;
}

void BuildMod(SongBuilder& b) {
    ModSample& tone = b.AddSample(1, Triangle(), 48);
    tone.loopStart = 0;
    tone.loopLength = 64;
    b.AddSample(2, Burst(), 64);
    for (int r = 0; r < 64; r += 4) b.Put(0, r, 0, 12, 2);
    b.Put(0, 0, 1, 36, 1, kArpeggio, 0x47);
    b.Put(0, 4, 1, -1, 0, kVibrato, 0x46);
    b.Put(0, 8, 1, 31, 1, kTonePorta, 0x08);
    b.Put(0, 12, 1, -1, 0, kVolumeSlide, 0x04);
    b.Put(0, 0, 2, 48, 1, kPortaDown, 0x03);
    b.Put(0, 6, 2, 43, 1, kTremolo, 0x6C);
    b.Put(0, 10, 2, -1, 0, kExtended, 0xC2);
    b.Put(0, 2, 3, 24, 1, kExtended, 0xD3);
    b.Put(0, 9, 3, 28, 1, kSampleOffset, 0x00);
    b.Put(0, 14, 3, -1, 0, kSpeedTempo, 140);
}

void BuildS3M(SongBuilder& b) {
    ModSample& tone = b.AddSample(1, Triangle(), 50);
    tone.loopLength = 64;
    b.AddSample(3, Burst(), 60);
    for (int r = 0; r < 64; r += 3) b.Put(0, r, 0, 36, 3);
    b.Put(0, 0, 1, 60, 1, 4 /* D */, 0x01);
    b.Put(0, 5, 1, -1, 0, 4, 0xF3);
    b.Put(0, 8, 1, 55, 1, 6 /* F */, 0xE4);
    b.PutVolume(b.Put(0, 11, 1, 67, 1, 7 /* G */, 0x10), 40);
    b.Put(0, 3, 2, 72, 1, 19 /* S */, 0x8C);
    b.Put(0, 9, 2, 254, 0);
    b.Put(0, 12, 2, 48, 1, 10 /* J */, 0x37);
    b.Put(0, 1, 0, -1, 0, 22 /* V */, 48);
}

void BuildXMSong(SongBuilder& b) {
    ModInstrument& pad = b.AddInstrument(1, Triangle(), 56);
    pad.volType = 1 | 2;
    pad.volSustain = 2;
    pad.volEnvelope[0] = {0, 0};
    pad.volEnvelope[1] = {6, 64};
    pad.volEnvelope[2] = {20, 32};
    pad.nbVolPoints = 3;
    pad.panType = 1 | 4;
    pad.panEnvelope[0] = {0, 0};
    pad.panEnvelope[1] = {30, 64};
    pad.nbPanPoints = 2;
    pad.fadeout = 3000;
    b.InstrumentSample(1).loopType = 2;
    b.InstrumentSample(1).loopLength = 64;
    b.InstrumentSample(1).relativeNote = 12;
    ModInstrument& drum = b.AddInstrument(2, Burst(), 64);
    drum.volType = 1 | 4;
    drum.volEnvelope[0] = {0, 64};
    drum.volEnvelope[1] = {4, 10};
    drum.volEnvelope[2] = {8, 50};
    drum.nbVolPoints = 3;
    drum.volLoopStart = 1;
    drum.volLoopEnd = 2;
    b.InstrumentSample(2).panning = 200;
    for (int r = 0; r < 64; r += 8) b.Put(0, r, 0, 37, 2);
    b.Put(0, 0, 1, 49, 1);
    b.Put(0, 10, 1, 97, 0);
    b.PutVolume(b.Put(0, 12, 1, 44, 1, kVibrato, 0x38), 0x40);
    b.Put(0, 16, 1, 56, 0, kTonePortaVolSlide, 0x02);
    b.Put(0, 2, 2, 61, 1, kArpeggio, 0x3A);
    b.Put(0, 6, 2, -1, 0, kSetGlobalVolume, 0x30);
    b.Put(0, 7, 2, -1, 0, kGlobalVolumeSlide, 0x02);
    b.Put(0, 9, 2, 30, 1, kPortaUp, 0x04);
    b.Put(0, 13, 2, -1, 0, kExtended, 0xD2);
}

// The render's share of non-zero samples, in percent.
int SoundingShare(const std::vector<int16_t>& render) {
    size_t nonzero = 0;
    for (int16_t s : render) nonzero += s != 0;
    return static_cast<int>(100 * nonzero / render.size());
}

struct Golden {
    const char* name;
    FileFormat kind;
    int channels;
    void (*build)(SongBuilder&);
    uint64_t checksum;
};

const Golden kGoldens[] = {
    {"mod", FileFormat::MOD, 4, BuildMod, 0x4506e80f0404fd71ull},
    {"s3m", FileFormat::S3M, 3, BuildS3M, 0x9b950f1886e416f8ull},
    {"xm", FileFormat::XM, 3, BuildXMSong, 0x957e9732c70a7102ull},
};

constexpr int kGoldenBlocks = 30;

// The listener's choices of sound: the default first, then each kind, the
// last few together.
struct Choice {
    Interpolation interpolation;
    bool ramping;
    int32_t separation;
    bool amiga;
};
const Choice kChoices[] = {{Interpolation::Linear, false, 100, false}, {Interpolation::None, false, 100, false},
                           {Interpolation::Cubic, false, 0, false},    {Interpolation::Sinc, false, 200, true},
                           {Interpolation::Linear, true, 100, false},  {Interpolation::Sinc, true, 70, true}};

void Choose(Player& p, const Choice& c) {
    p.sound.interpolation = c.interpolation;
    p.sound.ramping = c.ramping;
    p.sound.separation = c.separation;
    p.sound.amiga = c.amiga;
}

// Renders `song` with `choice` through the plain mixer, then the fast one on
// each instruction set the processor has: each gives the plain one's
// samples and levels (those after every block go to `peaks` when given).
std::vector<int16_t> RenderWithEveryMixer(const Mod& song, int blocks, const Choice& choice,
                                          std::vector<uint16_t>* peaks = nullptr) {
    std::vector<int16_t> plain;
    std::vector<uint16_t> plainLevels;
    for (int mixer = 0; mixer < 4; mixer++) {
        const MixerIsa isa = static_cast<MixerIsa>(std::max(mixer - 1, 0));
        if (!MixerIsaAvailable(isa)) continue;
        const std::unique_ptr<Player> player = test::StartPlayer(song);
        Choose(*player, choice);
        UseFastMixer(*player, isa);
        EXPECT_TRUE(mixer > 0 || UsePlainMixer(*player));
        player->levelsWanted = true;
        std::vector<int16_t> out;
        std::vector<uint16_t> levels;
        for (int n = 0; n < blocks; n++) {
            const std::vector<int16_t> block = test::RenderBlocks(*player, 1);
            out.insert(out.end(), block.begin(), block.end());
            for (int c = 0; c < kMaxChannels; c++) levels.push_back(player->levels[c]);
        }
        if (mixer == 0) plain = out, plainLevels = levels;
        EXPECT_TRUE(out == plain) << "mixer " << mixer;
        EXPECT_TRUE(levels == plainLevels) << "levels of mixer " << mixer;
    }
    if (peaks) *peaks = plainLevels;
    return plain;
}

// The default render of a golden song, through the fast mixer.
std::vector<int16_t> RenderGolden(const Golden& g, int blocks) {
    SongBuilder b(g.kind, g.channels);
    g.build(b);
    return test::RenderBlocks(*test::StartPlayer(b.song()), blocks);
}

class GoldenTest : public ::testing::TestWithParam<Golden> {};

// Every mixer gives the same samples and levels, with every choice of
// sound; each choice changes the sound.
TEST_P(GoldenTest, RenderMatchesItsChecksumWithEveryMixer) {
    const Golden& g = GetParam();
    SongBuilder b(g.kind, g.channels);
    g.build(b);
    std::vector<uint16_t> peaks;
    const std::vector<int16_t> byDefault = RenderWithEveryMixer(b.song(), kGoldenBlocks, kChoices[0], &peaks);
    for (const Choice& choice : kChoices)
        if (&choice != kChoices) {
            EXPECT_NE(RenderWithEveryMixer(b.song(), kGoldenBlocks, choice), byDefault)
                << g.name << " choice " << (&choice - kChoices);
        }
    EXPECT_GT(*std::max_element(peaks.begin(), peaks.end()), 10000);
    EXPECT_GT(SoundingShare(byDefault), 50);
    EXPECT_EQ(test::Checksum(byDefault), g.checksum) << g.name;
    EXPECT_EQ(test::Checksum(RenderGolden(g, kGoldenBlocks)), test::Checksum(byDefault)) << "same song, same output";
}

INSTANTIATE_TEST_SUITE_P(Songs, GoldenTest, ::testing::ValuesIn(kGoldens),
                         [](const auto& info) { return std::string(info.param.name); });

// Players share nothing: two songs rendered at once on two threads give
// what each gives alone (the ThreadSanitizer build runs this case too).
TEST(Players, TwoSongsOnTwoThreadsRenderAsOneAfterTheOther) {
    constexpr int kBlocks = 300;
    const std::vector<int16_t> mod = RenderGolden(kGoldens[0], kBlocks);
    const std::vector<int16_t> xm = RenderGolden(kGoldens[2], kBlocks);
    std::vector<int16_t> modThere, xmHere;
    std::atomic<int> ready{0};
    std::thread there([&] {
        ready++;
        while (ready.load() < 2) {}
        modThere = RenderGolden(kGoldens[0], kBlocks);
    });
    ready++;
    while (ready.load() < 2) {}
    xmHere = RenderGolden(kGoldens[2], kBlocks);
    there.join();
    EXPECT_TRUE(modThere == mod);
    EXPECT_TRUE(xmHere == xm);
}

// ---- Hostile records: nothing here may crash, hang or read out of bounds,
// and every mixer gives the same samples, with every choice of sound.

class HostileTest : public ::testing::Test {
protected:
    static void Render(const Mod& song, int blocks = 12) {
        for (const Choice& choice : kChoices) RenderWithEveryMixer(song, blocks, choice);
    }
};

TEST_F(HostileTest, StrayCellValuesOfEveryKind) {
    for (FileFormat kind : {FileFormat::MOD, FileFormat::S3M, FileFormat::XM}) {
        SongBuilder b(kind, 4);
        if (kind == FileFormat::XM) {
            ModInstrument& ins = b.AddInstrument(1, Ramp(100, -5000, 100));
            ins.noteSample[10] = 200;  // names a sample the instrument lacks
            b.InstrumentSample(1).relativeNote = -100;
            b.InstrumentSample(1).finetune = -128;
        } else {
            b.AddSample(1, Ramp(100, -5000, 100));
        }
        b.Put(0, 0, 0, 255, 1);            // note 255
        b.Put(0, 1, 0, 11, 200);           // instrument beyond the song
        b.Put(0, 2, 1, 10, 1, kArpeggio, 0xFF);
        b.Put(0, 3, 1, 1, 1, kVibrato, 0xFF);
        b.Put(0, 4, 2, -7, 1, kPortaUp, 0xFF);
        b.Put(0, 5, 2, 2, 1, kTonePorta, 0xFF);
        b.Put(0, 6, 3, 50, 1, kSampleOffset, 0xFF);
        b.Put(0, 7, 3, -1, 0, kSpeedTempo, 0);
        b.Put(0, 8, 3, -1, 0, kPositionJump, 0xFF);
        b.Put(0, 9, 2, 0, 0, kPatternBreak, 0xFF);
        Render(b.song());
    }
}

TEST_F(HostileTest, RandomCellsOfEveryKind) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 6; round++) {
        FileFormat kind = round % 3 == 0 ? FileFormat::MOD : round % 3 == 1 ? FileFormat::S3M : FileFormat::XM;
        SongBuilder b(kind, 8, 3, 16);
        b.SetOrders({0, 1, 2, 254, 1, 9, 0});
        for (int s = 1; s <= 3; s++) {
            std::vector<int16_t> frames(1 + rng() % 500);
            for (int16_t& f : frames) f = static_cast<int16_t>(rng());
            if (kind == FileFormat::XM) {
                ModInstrument& ins = b.AddInstrument(s, frames);
                for (int& m : ins.noteSample) m = rng() % 3;
                ins.volType = rng() % 8;
                ins.panType = rng() % 8;
                for (int k = 0; k < 12; k++) {
                    ins.volEnvelope[k] = {static_cast<uint16_t>(rng() % 64), static_cast<int16_t>(rng() % 80)};
                    ins.panEnvelope[k] = {static_cast<uint16_t>(rng() % 64), static_cast<int16_t>(rng() % 80)};
                }
                ins.volSustain = rng() % 256;
                ins.volLoopStart = rng() % 256;
                ins.volLoopEnd = rng() % 256;
                ins.panLoopStart = rng() % 16;
                ins.panLoopEnd = rng() % 16;
                ins.fadeout = rng() % 65536;
                ModSample& smp = b.InstrumentSample(s);
                smp.loopType = rng() % 4;
                smp.loopStart = rng() % 600;
                smp.loopLength = rng() % 600;
                smp.relativeNote = static_cast<int8_t>(rng());
                smp.finetune = static_cast<int8_t>(rng());
                smp.panning = rng() % 256;
            } else {
                ModSample& smp = b.AddSample(s, frames);
                smp.loopStart = rng() % 600;
                smp.loopLength = rng() % 600;
                smp.finetune = static_cast<int>(rng() % 16) - 8;
            }
        }
        for (int p = 0; p < 3; p++)
            for (int r = 0; r < 16; r++)
                for (int c = 0; c < 8; c++) {
                    ModCell& cell = b.Cell(p, r, c);
                    cell.note = static_cast<int16_t>(static_cast<int>(rng() % 260) - 2);
                    cell.instrument = rng() % 5;
                    b.PutVolume(cell, static_cast<int>(rng() % 256));
                    const auto command = static_cast<uint8_t>(kind == FileFormat::S3M ? rng() % 27 : rng() % 36);
                    const auto param = static_cast<uint8_t>(rng() % 256);
                    if (kind == FileFormat::S3M)
                        TranslateS3MCommand(command, param, cell);
                    else
                        TranslateTrackerCommand(command, param, kind == FileFormat::XM, cell);
                }
        b.song().bpm = rng() % 256;
        b.song().speed = rng() % 32;
        Render(b.song(), 40);
    }
}

TEST_F(HostileTest, CountsBeyondTheRecord) {
    SongBuilder b(FileFormat::XM, 32);
    b.AddInstrument(1, Constant(100, 100));
    b.Put(0, 0, 0, 25, 1);
    b.song().nbChannels = 40;
    b.song().songLength = 100000;
    b.song().nbInstruments = 5000;
    Render(b.song());
    b.song().nbChannels = -3;
    b.song().songLength = -1;
    b.song().bpm = -20;
    Render(b.song());
}

// ---- The song's start.

using ModuleStartTest = test::PlayerTest;

TEST_F(ModuleStartTest, ASecondStartOverASoundingSongBeginsSilent) {
    SongBuilder loud(FileFormat::MOD, 8);
    loud.AddSample(1, Constant(2000, 30000));
    loud.song().samples[1].loopStart = 0;
    loud.song().samples[1].loopLength = 2000;
    for (int c = 0; c < 8; c++) loud.Put(0, 1, c, 37, 1);  // a start is silent for a row
    loud.Put(0, 0, 0, -1, 0, 15, 32);  // tempo 32: long ticks leave a tail past the block
    PlaySong(loud.song());
    ASSERT_TRUE(UsePlainMixer(*player));
    ASSERT_NE(test::RenderBlocks(*player, 6).back(), 0);
    ASSERT_GT(player->tickFramesLeft, 0);

    StartSubsong(*player, nullptr, 0);  // the buffers are reused, not reallocated
    for (int16_t s : test::RenderBlocks(*player, 2)) ASSERT_EQ(s, 0);
}

// ---- A module file through the loader entry, in process and through the
// renderer program.

std::vector<uint8_t> SmallXM() {
    test::XMSpec desc;
    desc.channels = 2;
    desc.bpm = 124;
    test::XMPatternSpec pattern;
    pattern.rows = 8;
    // Row 0: note C-4 with instrument 1 on channel 0, then empty cells.
    pattern.packed = {0x83, 49, 1, 0x80};
    for (int i = 0; i < 14; i++) pattern.packed.push_back(0x80);
    desc.patterns.push_back(pattern);
    test::XMInstrumentSpec ins;
    test::XMSampleSpec smp;
    for (int i = 0; i < 64; i++) smp.bytes.push_back(i == 0 ? 0x80 : (i < 32 ? 8 : 248));  // delta-coded triangle
    smp.length = 64;
    smp.loopLength = 64;
    smp.type = 1;
    ins.samples.push_back(smp);
    desc.instruments.push_back(ins);
    return BuildXM(desc);
}

std::vector<uint8_t> SmallMOD() {
    test::MODSpec desc;
    test::MODSampleSpec smp;
    smp.name = "triangle";
    for (int i = 0; i < 64; i++) smp.data.push_back(static_cast<uint8_t>((i < 32 ? i : 64 - i) * 6 - 96));
    smp.lengthWords = 32;
    smp.loopLengthWords = 32;
    desc.samples.push_back(smp);
    test::MODPattern pattern = test::EmptyMODPattern(4);
    test::SetMODCell(pattern, 4, 0, 0, 1, 428, 0, 0);
    desc.patterns.push_back(pattern);
    return test::BuildMOD(desc);
}

std::vector<uint8_t> SmallS3M() {
    test::S3MSpec desc;
    desc.speed = 3;
    desc.tempo = 150;
    test::S3MSampleSpec smp;
    for (int i = 0; i < 64; i++) smp.data.push_back(static_cast<uint8_t>(128 + (i < 32 ? i : 64 - i) * 6 - 96));
    smp.length = 64;
    smp.loopEnd = 64;
    smp.flags = 1;
    desc.samples.push_back(smp);
    desc.patterns = {test::S3MPattern({{test::S3MEvent(0, 0x40, 1)}})};
    return test::BuildS3M(desc);
}

// A module loaded through the loader entry starts at its header's speed and
// tempo (a MOD at 6 and 125), an S3M's channels where its header puts them,
// and plays (the MOD and S3M on their first channel, on the left).
TEST_F(ModuleStartTest, LoadedModulesStartAtTheirSpeedAndTempoAndPlay) {
    const struct { const char* kind; std::vector<uint8_t> bytes; int speed, tick, tail, share; } cases[] = {
        {"XM", SmallXM(), 6, 889, 35, 50}, {"MOD", SmallMOD(), 6, 882, 0, 40}, {"S3M", SmallS3M(), 3, 735, 0, 40}};
    for (const auto& c : cases) {
        const Mod& song = Taken(c.bytes);
        EXPECT_EQ(player->NVoices, song.nbChannels) << c.kind;
        if (song.isS3M) { EXPECT_FLOAT_EQ(player->pan[0], song.channelPan[0]); }
        EXPECT_EQ(Speed(*player), c.speed) << c.kind;
        EXPECT_EQ(player->LEN_TICK, c.tick) << c.kind;
        EXPECT_GT(SoundingShare(test::RenderBlocks(*player, 1)), c.share) << c.kind;
        EXPECT_EQ(player->tickFramesLeft, c.tail) << c.kind;
    }
}

#ifdef MODDECK_RENDER_PATH
TEST(RenderProgram, WritesTheBlocksOfTheRendererAsWave) {
    std::vector<uint8_t> bytes = SmallXM();
    std::string dir = ::testing::TempDir();
    std::string in = dir + "moddeck_render_in.xm", out = dir + "moddeck_render_out.wav";
    FILE* f = std::fopen(in.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::string cmd = std::string(MODDECK_RENDER_PATH) + " --seconds 0.25 " + in + " " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    f = std::fopen(out.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> wav(44 + 3 * 17640 + 1);
    size_t got = std::fread(wav.data(), 1, wav.size(), f);
    std::fclose(f);
    ASSERT_EQ(got, 44u + 3 * 17640);  // ceil(2.5) = 3 blocks
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(wav[22], 2);                           // stereo
    EXPECT_EQ(wav[24] | wav[25] << 8, 44100);        // rate
    EXPECT_EQ(wav[34], 16);                          // bits
    EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);

    // The same blocks as the renderer gives in process.
    Mod* song = LoadSong(bytes.data(), bytes.size());
    ASSERT_NE(song, nullptr);
    const std::vector<int16_t> blocks = test::RenderBlocks(*test::StartPlayer(*song), 3);
    FreeModSong(song);
    for (size_t i = 0; i < blocks.size(); i++) {
        int16_t s = static_cast<int16_t>(wav[44 + 2 * i] | wav[45 + 2 * i] << 8);
        ASSERT_EQ(s, blocks[i]) << "sample " << i;
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
}
#endif

}  // namespace
}  // namespace moddeck
