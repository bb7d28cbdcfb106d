// Damaged files: every minimal module of every format variant cut at many
// offsets, with its count, length and pointer fields set to their extremes,
// must load and play a few blocks or be refused; and no header, however
// large the counts and lengths it claims, makes the loaders hold more than
// their fixed allowance plus a bounded multiple of the file's own size.
// (Cuts at every byte and random damage of one small module per format are
// in dispatch_test.cpp; these cover every variant and aim at the fields.)
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "loaders/loaders.h"
#include "song/song.h"
#include "support/heap.h"
#include "support/minimal_files.h"
#include "support/mod_builder.h"
#include "support/player_fixture.h"
#include "support/s3m_builder.h"
#include "support/xm_builder.h"

namespace moddeck::test {
// Test names and failures show the file's name, not its bytes.
void PrintTo(const MinimalFile& file, std::ostream* os) { *os << file.name; }
}  // namespace moddeck::test

namespace moddeck {
namespace {

using test::BytesInUse;
using test::kCountBytes;

struct Field {
    size_t at;
    int width;  // 1, 2 or 4 bytes, little-endian
};

uint32_t Get(const std::vector<uint8_t>& b, size_t at, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; i--) v = v << 8 | (at + i < b.size() ? b[at + i] : 0);
    return v;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The fields of a MOD that count, size or point: the first three sample
// headers (two used, one empty), the song length, the restart and the first
// orders. Untagged files have 15 sample headers and so an earlier table.
std::vector<Field> MODFields(const std::vector<uint8_t>& b, bool untagged) {
    std::vector<Field> f;
    for (size_t s = 0; s < 3; s++)
        for (size_t off : {22, 24, 25, 26, 28}) f.push_back({20 + 30 * s + off, off == 24 || off == 25 ? 1 : 2});
    const size_t table = untagged ? 20 + 15 * 30 : 20 + 31 * 30;
    for (size_t at = table; at < table + 4; at++) f.push_back({at, 1});
    (void)b;
    return f;
}

// S3M: the three counts, the sample format word, a few channel settings,
// then through the parapointers each sample's memory segment, lengths and
// flags, and each pattern's packed length.
std::vector<Field> S3MFields(const std::vector<uint8_t>& b) {
    std::vector<Field> f = {{0x20, 2}, {0x22, 2}, {0x24, 2}, {0x2A, 2}, {0x40, 1}, {0x41, 1}, {0x5F, 1}};
    const size_t orders = Get(b, 0x20, 2), samples = Get(b, 0x22, 2), patterns = Get(b, 0x24, 2);
    const size_t pointers = 0x60 + orders;
    for (size_t i = 0; i < samples; i++) {
        f.push_back({pointers + 2 * i, 2});
        const size_t at = 16 * size_t{Get(b, pointers + 2 * i, 2)};
        for (Field s : {Field{0x0D, 1}, Field{0x0E, 2}, Field{0x10, 4}, Field{0x14, 4}, Field{0x18, 4},
                        Field{0x1E, 1}, Field{0x1F, 1}})
            f.push_back({at + s.at, s.width});
    }
    for (size_t i = 0; i < patterns; i++) {
        const size_t p = pointers + 2 * samples + 2 * i;
        f.push_back({p, 2});
        f.push_back({16 * size_t{Get(b, p, 2)}, 2});
    }
    return f;
}

// XM: the header's size and counts, then walking the file, each pattern's
// header length, rows and packed size, each instrument's size, sample count,
// sample header size and envelope points, and each sample's lengths and type.
std::vector<Field> XMFields(const std::vector<uint8_t>& b) {
    std::vector<Field> f = {{60, 4}, {64, 2}, {66, 2}, {68, 2}, {70, 2}, {72, 2}, {74, 2}, {80, 1}};
    size_t at = 60 + Get(b, 60, 4);
    for (uint32_t p = 0; p < Get(b, 70, 2) && at < b.size(); p++) {
        for (Field h : {Field{0, 4}, Field{5, 2}, Field{7, 2}}) f.push_back({at + h.at, h.width});
        at += Get(b, at, 4) + Get(b, at + 7, 2);
    }
    for (uint32_t i = 0; i < Get(b, 72, 2) && at < b.size(); i++) {
        const uint32_t samples = Get(b, at + 27, 2);
        for (Field h : {Field{0, 4}, Field{27, 2}, Field{29, 4}, Field{33, 1}, Field{225, 1}, Field{226, 1},
                        Field{227, 1}, Field{228, 1}, Field{229, 1}})
            f.push_back({at + h.at, h.width});
        at += Get(b, at, 4);
        uint32_t data = 0;
        for (uint32_t s = 0; s < samples && at < b.size(); s++, at += 40) {
            for (Field h : {Field{0, 4}, Field{4, 4}, Field{8, 4}, Field{14, 1}}) f.push_back({at + h.at, h.width});
            data += Get(b, at, 4);
        }
        at += data;
    }
    return f;
}

// IT: the counts, flags and message fields, then through the offset
// tables each instrument's envelope counts and loop points, each sample's
// flags, conversion, lengths, loops and data offset, and each pattern's
// packed length and rows.
std::vector<Field> ITFields(const std::vector<uint8_t>& b) {
    std::vector<Field> f = {{0x20, 2}, {0x22, 2}, {0x24, 2}, {0x26, 2}, {0x2A, 2}, {0x2C, 2}, {0x36, 2}, {0x38, 4}};
    const size_t orders = Get(b, 0x20, 2), instruments = Get(b, 0x22, 2), samples = Get(b, 0x24, 2);
    size_t table = 0xC0 + orders;
    for (size_t i = 0; i < instruments; i++, table += 4) {
        f.push_back({table, 4});
        for (size_t at : {0x131, 0x132, 0x134, 0x183, 0x1D5, 0x1F8}) f.push_back({Get(b, table, 4) + at, 1});
    }
    for (size_t i = 0; i < samples; i++, table += 4) {
        f.push_back({table, 4});
        for (Field s : {Field{0x12, 1}, Field{0x2E, 1}, Field{0x30, 4}, Field{0x38, 4}, Field{0x44, 4}, Field{0x48, 4}})
            f.push_back({Get(b, table, 4) + s.at, s.width});
    }
    for (size_t at = Get(b, table, 4); at && at < b.size(); at = 0) f.push_back({at, 2}), f.push_back({at + 2, 2});
    return f;
}

std::vector<Field> FieldsOf(const test::MinimalFile& file) {
    if (EndsWith(file.name, ".it")) return ITFields(file.bytes);
    if (EndsWith(file.name, ".xm")) return XMFields(file.bytes);
    if (EndsWith(file.name, ".s3m")) return S3MFields(file.bytes);
    return MODFields(file.bytes, file.name == "untagged.mod");
}

// The values a hostile writer tries: nothing, one, the largest, the sign
// bit, and one more than the true value.
std::vector<uint32_t> ExtremesOf(uint32_t original, int width) {
    const uint32_t all = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
    return {0, 1, all, (all >> 1) + 1, all >> 1, (original + 1) & all};
}

void Put(std::vector<uint8_t>& b, Field f, uint32_t v) {
    for (int i = 0; i < f.width && f.at + i < b.size(); i++) b[f.at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class DamagedFile : public test::PlayerTest, public ::testing::WithParamInterface<test::MinimalFile> {
protected:

    // Loads the bytes; when they load, the song must be within the record's
    // bounds and render `blocks` blocks. False when refused.
    bool LoadAndPlay(const std::vector<uint8_t>& bytes, int blocks) {
        const Mod* song = Load(bytes);
        if (song) {
            EXPECT_GE(song->nbChannels, 0);
            EXPECT_LE(song->nbChannels, kMaxChannels);
            EXPECT_GE(song->nbPatterns, 0);
            EXPECT_GE(song->songLength, 0);
            EXPECT_LE(song->songLength, kMaxOrders);
            if (blocks > 0) test::RenderBlocks(*player, blocks);
        }
        return song != nullptr;
    }
};

TEST_P(DamagedFile, TheOriginalLoadsAndSounds) {
    const Mod* song = Load(GetParam().bytes);
    ASSERT_NE(song, nullptr);
    bool sound = false;
    for (int16_t v : test::RenderBlocks(*player, 4)) sound |= v != 0;
    EXPECT_TRUE(sound);
}

// Cut through the header byte by byte, further on every 13th byte; one cut
// in four is played.
TEST_P(DamagedFile, CutAtManyOffsetsLoadsAndPlaysOrIsRefused) {
    const std::vector<uint8_t>& bytes = GetParam().bytes;
    int cuts = 0;
    for (size_t n = 0; n < bytes.size(); n += n < 1100 ? 1 : 13, cuts++) {
        SCOPED_TRACE("cut at " + std::to_string(n));
        LoadAndPlay(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n), cuts % 4 == 0 ? 2 : 0);
        if (HasFatalFailure() || HasNonfatalFailure()) return;
    }
}

TEST_P(DamagedFile, CountsLengthsAndPointersAtTheirExtremesLoadAndPlayOrAreRefused) {
    const std::vector<uint8_t>& bytes = GetParam().bytes;
    const std::vector<Field> fields = FieldsOf(GetParam());
    ASSERT_GE(fields.size(), 10u);
    for (Field f : fields) {
        if (f.at + f.width > bytes.size()) continue;
        for (uint32_t v : ExtremesOf(Get(bytes, f.at, f.width), f.width)) {
            SCOPED_TRACE("field at " + std::to_string(f.at) + " = " + std::to_string(v));
            std::vector<uint8_t> bad = bytes;
            Put(bad, f, v);
            LoadAndPlay(bad, 2);
            if (HasFatalFailure() || HasNonfatalFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(MinimalFiles, DamagedFile, ::testing::ValuesIn(test::MinimalModules()),
                         [](const auto& info) {
                             std::string name;
                             for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// ---- Memory bounds.

// What a loaded song may hold whatever its file: the record itself and
// 1M cells, the XM loader's allowance for patterns without packed data
// (also above the S3M and MOD ceilings: at most 513 and 256 patterns of 64
// rows on 32 channels, which pointers repeated or past the end can fill
// from a few hundred bytes), plus per byte of the file 64 cells (a 9-byte XM pattern header asks
// for up to 65535 rows) and two 16-bit frames (one from each sample byte,
// with room for a loop's unrolled tail).
size_t AllowedBytes(size_t fileSize) {
    return sizeof(Mod) + (size_t{1} << 20) * sizeof(ModCell) + (size_t{1} << 20) +
           fileSize * (64 * sizeof(ModCell) + 2 * sizeof(int16_t));
}

TEST(LoaderMemory, HeadersClaimingHugeSamplesAndPatternCountsHoldNoMoreThanTheFileAllows) {
    // XM: 100 patterns of 256 rows on 32 channels, none with packed data
    // (819,200 cells from 900 bytes of headers), and 128 instruments whose
    // samples claim 4 GB each.
    test::XMSpec xm;
    xm.channels = 32;
    xm.songLength = 100;
    xm.orders.clear();
    for (int i = 0; i < 100; i++) {
        xm.orders.push_back(static_cast<uint8_t>(i));
        xm.patterns.push_back({256, {}});
    }
    test::XMInstrumentSpec ins;
    test::XMSampleSpec huge;
    huge.length = 0xFFFFFFFF;
    huge.loopLength = 0xFFFFFFFF;
    huge.type = 0x11;
    huge.bytes = {1, 2, 3, 4};
    ins.samples = {huge, huge};
    xm.instruments.assign(128, ins);

    // S3M: counts at their largest, every sample pointing at one header that
    // claims 4 GB frames of 16-bit stereo, every pattern at one pattern.
    test::S3MSpec s3m;
    test::S3MSampleSpec big;
    big.length = 0xFFFFFFFF;
    big.loopEnd = 0xFFFFFFFF;
    big.flags = 1 | 2 | 4;
    big.data.assign(64, 0x80);
    s3m.samples = {big};
    s3m.patterns = {std::vector<uint8_t>(64, 0)};
    s3m.orderCount = 0x7FFF;
    s3m.instrumentCount = 0x7FFF;
    s3m.patternCount = 0x7FFF;
    s3m.orders.assign(300, 0);

    // MOD: 31 samples of 128 KB each, in a file holding its 128 patterns of
    // 16 channels and 16 bytes of sample data.
    test::MODSpec mod;
    mod.tag = "16CH";
    mod.channels = 16;
    mod.songLength = 128;
    mod.orders.clear();
    for (int i = 0; i < 128; i++) mod.orders.push_back(static_cast<uint8_t>(i));
    test::MODSampleSpec sample;
    sample.lengthWords = 0xFFFF;
    sample.loopLengthWords = 0xFFFF;
    sample.data.assign(16, 0x40);
    mod.samples.assign(31, sample);
    mod.patterns.assign(128, test::EmptyMODPattern(16));

    std::vector<std::vector<uint8_t>> files = {test::BuildXM(xm), test::BuildS3M(s3m), test::BuildMOD(mod)};
    // Long enough for its counts' tables, so that the S3M header is taken.
    files[1].resize(files[1].size() + 200000, 0);
    // Warm up the allocator's own bookkeeping first.
    FreeModSong(LoadSong(files[2].data(), files[2].size()));
    for (const std::vector<uint8_t>& file : files) {
        const size_t before = BytesInUse();
        Mod* song = LoadSong(file.data(), file.size());
        const size_t held = BytesInUse() - before;
        EXPECT_NE(song, nullptr) << file.size() << "-byte file";
        if (song) {
            // The song's samples are no longer than the bytes that are there.
            for (int i = 1; i < kSampleSlots; i++) EXPECT_LE(size_t(song->samples[i].length), file.size());
            for (int i = 1; i <= kMaxInstruments; i++)
                for (int s = 0; s < song->instruments[i].nbSamples; s++)
                    EXPECT_LE(size_t(song->instruments[i].samples[s].length), file.size());
        }
        FreeModSong(song);
        if (kCountBytes) {
            EXPECT_LE(held, AllowedBytes(file.size())) << file.size() << "-byte file";
        }
    }
}

}  // namespace
}  // namespace moddeck
