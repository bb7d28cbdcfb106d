// The loader entry: which loader a file reaches, files that are no module,
// the release of songs, and every kind of broken module (cut at every byte,
// hostile counts, random damage).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/player.h"
#include "loaders/loaders.h"
#include "support/heap.h"
#include "support/player_fixture.h"
#include "support/mod_builder.h"
#include "support/s3m_builder.h"
#include "support/it_builder.h"
#include "support/xm_builder.h"

namespace moddeck {
namespace {

using test::BytesInUse;
using test::kCountBytes;

std::vector<uint8_t> SmallMOD() {
    test::MODSpec desc;
    desc.songLength = 2;
    desc.orders = {0, 1};
    desc.patterns = {test::EmptyMODPattern(4), test::EmptyMODPattern(4)};
    test::SetMODCell(desc.patterns[0], 4, 0, 0, 1, 428, 0x0C, 0x30);
    test::SetMODCell(desc.patterns[1], 4, 5, 3, 2, 214, 0x0D, 0x10);
    desc.samples = {test::MODSampleSpec{"one", 8, 0x0F, 64, 2, 4, std::vector<uint8_t>(16, 0x40)},
                    test::MODSampleSpec{"two", 4, 0x01, 32, 0, 0, std::vector<uint8_t>(8, 0xC0)}};
    return test::BuildMOD(desc);
}

// Sample mode: a looped square wave played on channel 3, then a note cut.
std::vector<uint8_t> SmallIT() {
    test::ITSpec desc;
    test::ITSampleSpec s;
    s.flags = 1 | 0x10, s.length = s.loopEnd = 64;
    for (int i = 0; i < 64; i++) s.data.push_back(i < 32 ? 0x60 : 0xA0);
    desc.samples = {s};
    std::vector<uint8_t> rows = test::ITCell(2, 60, 1, 64);
    for (auto cell : {std::vector<uint8_t>(10, 0), test::ITCell(2, 254), {0}}) rows.insert(rows.end(), cell.begin(), cell.end());
    desc.patterns = {{16, rows}};
    return test::BuildIT(desc);
}

std::vector<uint8_t> SmallS3M() {
    test::S3MSpec desc;
    desc.orders = {0, 254, 1, 255};
    test::S3MSampleSpec a;
    a.length = 24;
    a.data.assign(24, 200);
    test::S3MSampleSpec b = a;
    b.flags = 4 | 2 | 1;
    b.length = 6;
    b.loopEnd = 6;
    b.data.assign(24, 0x90);
    desc.samples = {a, b};
    desc.patterns = {test::S3MPattern({{test::S3MEvent(0, 0x40, 1, 32, 1, 4)}, {test::S3MEvent(5, 0x52, 2, -1, 3, 0x12)}}),
                     test::S3MPattern({{test::S3MEvent(31, 254, 0)}})};
    return test::BuildS3M(desc);
}

std::vector<uint8_t> SmallXM() {
    test::XMSpec desc;
    desc.songLength = 2;
    desc.orders = {0, 1};
    test::XMPatternSpec p;
    p.rows = 8;
    p.packed = {0x31, 1, 0x40, 0, 0, 0x80, 0x98, 0x0D, 0x25, 0x80};
    desc.patterns = {p, p};
    test::XMInstrumentSpec ins;
    ins.noteSample[0] = 0;
    test::XMSampleSpec s;
    s.bytes = {0, 0x20, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0};  // 16-bit deltas: a square wave
    s.length = 12;
    s.type = 0x11;
    ins.samples = {s};
    desc.instruments = {ins, test::XMInstrumentSpec{}};
    return test::BuildXM(desc);
}

class Dispatch : public test::PlayerTest {
protected:
    // Renders a few blocks of the song; true when any sample was not silent.
    bool PlayBlocks(int blocks) {
        bool sound = false;
        for (int16_t v : test::RenderBlocks(*player, blocks)) sound |= v != 0;
        return sound;
    }
};

// Each format reaches its loader and sounds: the S3M signature at 44 comes
// before an XM's at the start, and only the first ten bytes make an XM.
TEST_F(Dispatch, EachFormatReachesItsLoaderAndSounds) {
    std::vector<uint8_t> s3m = SmallS3M(), xm = SmallXM();
    std::memcpy(s3m.data(), "Extended M", 10);
    std::memcpy(xm.data() + 10, "odd tag", 7);
    const Mod& mod = Taken(SmallMOD());
    EXPECT_TRUE(mod.isXM + mod.isS3M == 0 && mod.nbChannels == 4 && mod.samples[1].finetune == -1);
    EXPECT_TRUE(PlayBlocks(4)) << "MOD";
    const Mod& scrm = Taken(s3m);
    EXPECT_TRUE(scrm.isS3M == 1 && scrm.isXM == 0 && scrm.nbChannels == 32);
    EXPECT_TRUE(PlayBlocks(4)) << "S3M";
    const Mod& extended = Taken(xm);
    EXPECT_TRUE(extended.isXM == 1 && extended.nbPatterns == 2);
    EXPECT_TRUE(PlayBlocks(4)) << "XM";
    const Mod& impulse = Taken(SmallIT());
    EXPECT_TRUE(impulse.isIT == 1 && impulse.nbChannels == 3 && impulse.patterns[0].tracks[2][10].note == kCellNoteCut);
    EXPECT_TRUE(PlayBlocks(4)) << "IT";
}

// What is not a module is refused with its reason, never played as silence.
TEST_F(Dispatch, FilesThatAreNoModuleAreRefused) {
    std::string text;
    while (text.size() < 3000) text += "A text file is no module, whatever its name says. ";
    std::mt19937 rng(7);
    std::vector<uint8_t> noise(100);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
    std::vector<uint8_t> blankPatterns = SmallMOD();  // plausible headers, but nothing to play
    std::fill(blankPatterns.begin() + 20, blankPatterns.end(), 0);
    std::vector<uint8_t> xmWithoutChannels = SmallXM();
    xmWithoutChannels[68] = 0;
    std::vector<uint8_t> s3mWithoutOrders = SmallS3M();
    s3mWithoutOrders[32] = s3mWithoutOrders[33] = 0;
    for (const std::vector<uint8_t>& image : {std::vector<uint8_t>(text.begin(), text.end()), noise, blankPatterns,
                                               xmWithoutChannels, s3mWithoutOrders, std::vector<uint8_t>(5000, 0)}) {
        EXPECT_EQ(Refused(image), Refusal::NotAModule) << image.size();
    }
    Refusal why = Refusal::None;
    EXPECT_EQ(LoadSong(nullptr, 0, &why), nullptr);
    EXPECT_EQ(why, Refusal::EmptyFile);
}

TEST_F(Dispatch, FilesShorterThanTheMagicMatchNothing) {
    const std::vector<uint8_t> s3m = SmallS3M();
    EXPECT_EQ(DetectModuleFormat(s3m.data(), 47), FileFormat::MOD);
    EXPECT_EQ(DetectModuleFormat(s3m.data(), 48), FileFormat::S3M);
    EXPECT_EQ(DetectModuleFormat(reinterpret_cast<const uint8_t*>("IMP"), 3), FileFormat::MOD);
    const uint8_t extended[] = {'E', 'x', 't', 'e', 'n', 'd', 'e', 'd', ' '};
    EXPECT_EQ(DetectModuleFormat(extended, sizeof extended), FileFormat::MOD);
    EXPECT_EQ(DetectModuleFormat(nullptr, 0), FileFormat::MOD);
}

// Loads and releases each format twice, so that one-time allocations of the
// libraries (not of the loaders) are made, and the allocator's caches of
// freed blocks have settled, before anything is counted.
void WarmUp(const std::vector<uint8_t> (&images)[3]) {
    for (int round = 0; round < 2; round++) {
        Mod* songs[3];
        for (int i = 0; i < 3; i++) songs[i] = LoadSong(images[i].data(), images[i].size());
        for (Mod* song : songs) FreeModSong(song);
    }
}

// The release of a song of each format returns all it holds: a thousand
// loads keep the memory flat.
TEST_F(Dispatch, ThousandLoadsKeepMemoryFlat) {
    std::vector<uint8_t> images[] = {SmallMOD(), SmallS3M(), SmallXM()};
    WarmUp(images);
    // Counted from the end of the second round: by then the allocator's
    // per-size caches, which the count sees as in use, hold what they keep.
    constexpr int kSettling = 6;
    size_t before = BytesInUse();
    size_t peak = 0;
    for (int i = 0; i < 1000; i++) {
        Mod* song = LoadSong(images[i % 3].data(), images[i % 3].size());
        ASSERT_NE(song, nullptr);
        peak = std::max(peak, BytesInUse());
        FreeModSong(song);
        if (i + 1 == kSettling) before = BytesInUse();
        if (kCountBytes && i >= kSettling) {
            ASSERT_EQ(BytesInUse(), before) << "cycle " << i;
        }
    }
    if (kCountBytes) {
        EXPECT_GT(peak, before) << "a loaded song is counted";
        EXPECT_LT(peak - before, size_t{2} << 20);
    }
}

// The small modules, by name, for the robustness cases below: each
// format runs as its own case so that they run side by side.
std::vector<uint8_t> SmallModule(const std::string& format) {
    return format == "MOD" ? SmallMOD() : format == "S3M" ? SmallS3M() : format == "IT" ? SmallIT() : SmallXM();
}

class BrokenModule : public Dispatch, public ::testing::WithParamInterface<std::string> {};

// Every prefix of a module is refused or loads, plays and releases; once
// the headers are whole (a MOD's patterns too) what is cut away is sound:
// a cut that leaves none is refused as such, and from the first one that
// keeps some the module loads and plays what it holds. Starting a song
// costs milliseconds, so only every 8th cut of the MOD (3 KB, most of it
// pattern and sample data) is played.
TEST_P(BrokenModule, CutAtEveryByteLoadsAndPlaysOrIsRefused) {
    std::vector<uint8_t> image = SmallModule(GetParam());
    // An IT's header is whole with its order list and offset tables.
    const size_t itHeader = 0xC0 + image[0x20] + 4 * (image[0x22] + image[0x24] + image[0x26]);
    const size_t whole = GetParam() == "MOD"   ? 1084 + 2 * 1024 + 1
                         : GetParam() == "S3M" ? 108
                         : GetParam() == "IT"  ? itHeader
                                               : 336;
    int stride = GetParam() == "MOD" ? 8 : 1;
    bool sounded = false;
    for (size_t n = 0; n <= image.size(); n++) {
        std::vector<uint8_t> cut(image.begin(), image.begin() + n);
        Refusal why = Refusal::None;
        if (!Load(cut, &why)) {
            const bool cut = why == Refusal::TruncatedPatterns || why == Refusal::TruncatedSamples;
            ASSERT_TRUE(n < whole || (cut && !sounded)) << n;
            continue;
        }
        sounded = true;
        ASSERT_LE(player->SONG.nbChannels, kMaxChannels);
        if (n % stride == 0) PlayBlocks(2);
    }
}

// Random damage: the loaders must stay in bounds whatever the bytes say, and
// what they load must play.
TEST_P(BrokenModule, DamagedLoadsAndPlaysOrIsRefused) {
    std::vector<uint8_t> image = SmallModule(GetParam());
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; round++) {
        std::vector<uint8_t> bad = image;
        int hits = 1 + static_cast<int>(rng() % 8);
        for (int h = 0; h < hits; h++) {
            // Favour the headers, where counts and pointers live.
            size_t at = (rng() % 2) ? rng() % std::min<size_t>(bad.size(), 400) : rng() % bad.size();
            bad[at] = static_cast<uint8_t>(rng() % 4 == 0 ? 0xFF : rng());
        }
        if (Load(bad)) {
            ASSERT_LE(player->SONG.nbChannels, kMaxChannels);
            ASSERT_GE(player->SONG.nbPatterns, 0);
            PlayBlocks(2);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, BrokenModule, ::testing::Values("MOD", "S3M", "XM", "IT"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace moddeck
