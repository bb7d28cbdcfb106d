// S3M loader: header and channel pans, orders with their markers, the
// middle-C rate turned into finetune and note shift, the sample conversions,
// the packed patterns, and files with hostile counts and parapointers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "loaders/loaders.h"
#include "support/player_fixture.h"
#include "support/s3m_builder.h"

namespace moddeck {
namespace {

using test::BuildS3M;
using test::S3MPattern;
using test::S3MEvent;
using test::S3MSampleSpec;
using test::S3MSpec;

S3MSampleSpec Sample(int32_t c2spd, std::vector<uint8_t> data = {}, uint8_t flags = 0) {
    S3MSampleSpec s;
    s.c2spd = c2spd;
    s.flags = flags;
    int bytes_per_frame = ((flags & 4) ? 2 : 1) * ((flags & 2) ? 2 : 1);
    s.length = static_cast<uint32_t>(data.size() / bytes_per_frame);
    s.data = std::move(data);
    return s;
}

using S3MLoader = test::PlayerTest;

TEST_F(S3MLoader, ReadsTheHeader) {
    S3MSpec desc;
    desc.title = "a title of twenty-eight ch.";
    desc.speed = 3;
    desc.tempo = 150;
    desc.samples = {Sample(8363, {1, 2})};
    desc.orders = {0, 254, 1, 255, 0};  // the markers are kept
    desc.patterns = {S3MPattern({}), S3MPattern({})};
    const Mod& song = Taken(BuildS3M(desc));
    EXPECT_EQ(song.isS3M, 1u);
    EXPECT_EQ(song.isXM, 0u);
    EXPECT_STREQ(song.title, "a title of twenty-eight ch.");
    EXPECT_EQ(song.speed, 3);
    EXPECT_EQ(song.bpm, 150);
    EXPECT_EQ(song.linearFreq, 0);
    const uint8_t header[6] = {64, 3, 150, 0xB0, 0, 0};
    for (int i = 0; i < 6; i++) EXPECT_EQ(song.s3mHeader[i], header[i]) << i;
    EXPECT_EQ(song.nbInstruments, 1);
    EXPECT_EQ(song.nbPatterns, 2);
    EXPECT_EQ(song.songLength, 5);
    for (int i = 0; i < 5; i++) EXPECT_EQ(song.orders[i], desc.orders[i]) << i;
    EXPECT_EQ(song.nbChannels, 0);  // no event anywhere
    EXPECT_EQ(song.channelSettings[1], 8);
}

TEST_F(S3MLoader, ChannelSettingsGivePans) {
    S3MSpec desc;
    const uint8_t settings[] = {0, 7, 8, 15, 0x80, 0x87, 255, 16, 3, 12};
    for (int i = 0; i < 10; i++) desc.channelSettings[i] = settings[i];
    desc.patterns = {S3MPattern({})};
    // Left channels at 3 of 15, right ones at 12 of 15; the rest in the centre.
    const float pans[] = {0.8f, 0.8f, 0.2f, 0.2f, 0.8f, 0.8f, 0.5f, 0.5f, 0.8f, 0.2f};
    const Mod& song = Taken(BuildS3M(desc));
    for (int i = 0; i < 10; i++) EXPECT_NEAR(song.channelPan[i], pans[i], 1e-6) << "setting " << int(settings[i]);

    desc.panTable.assign(32, 0);
    desc.panTable[0] = 0x20 | 15;  // marked: the table places the channel
    desc.panTable[1] = 3;          // unmarked: the setting does
    const Mod& table = Taken(BuildS3M(desc));
    EXPECT_FLOAT_EQ(table.channelPan[0], 0.0f);
    EXPECT_FLOAT_EQ(table.channelPan[1], 0.8f);
    desc.masterVolume = 0x30;  // mono: every channel in the centre
    EXPECT_FLOAT_EQ(Taken(BuildS3M(desc)).channelPan[0], 0.5f);
}

TEST_F(S3MLoader, NotesAreKeptAsWrittenBesideEachSamplesRate) {
    S3MSpec desc;
    desc.samples = {Sample(8363), Sample(16726), Sample(0), Sample(-5), Sample(1)};
    desc.patterns = {
        S3MPattern({
            {S3MEvent(0, 0x40, 1)},
            {S3MEvent(0, 0x40, 5)},    // another sample: the same note
            {S3MEvent(0, 0x11, 0)},    // C#-1
            {S3MEvent(2, 255, 3)},     // instrument without a note
            {S3MEvent(0, 254, 1)},     // note cut marker
        }),
    };
    const Mod& song = Taken(BuildS3M(desc));
    const int rates[] = {8363, 16726, 0, -5, 1};
    for (int s = 1; s <= 5; s++) EXPECT_EQ(song.samples[s].c2spd, rates[s - 1]) << s;
    const ModCell* ch0 = song.patterns[0].tracks[0];
    EXPECT_EQ(ch0[0].note, 48);
    EXPECT_EQ(ch0[1].note, 48);
    EXPECT_EQ(ch0[2].note, 13);
    EXPECT_EQ(ch0[2].instrument, 0);
    EXPECT_EQ(song.patterns[0].tracks[2][3].note, -1);
    EXPECT_EQ(song.patterns[0].tracks[2][3].instrument, 3);
    EXPECT_EQ(ch0[4].note, 194);
    EXPECT_EQ(ch0[0].period, 0);
}

TEST_F(S3MLoader, VolumeAndCommandColumns) {
    S3MSpec desc;
    desc.patterns = {S3MPattern({
        {S3MEvent(0, -1, 0, 40), S3MEvent(1, -1, 0, -1, 3, 0x15), S3MEvent(2, -1, 0, -1, 1, 0x15)},
        {S3MEvent(0, 0x40, 0)},
    })};
    const Mod& song = Taken(BuildS3M(desc));
    const ModPattern& p = song.patterns[0];
    EXPECT_EQ(p.tracks[0][0].volumeEffect, VolumeEffect::SetVolume);
    EXPECT_EQ(p.tracks[0][0].volumeParam, 40);
    EXPECT_EQ(p.tracks[1][0].volumeEffect, VolumeEffect::None);
    EXPECT_EQ(p.tracks[1][0].effect, Effect::PatternBreak);
    EXPECT_EQ(p.tracks[1][0].param, 15);
    EXPECT_EQ(p.tracks[2][0].effect, Effect::SetSpeed);
    EXPECT_EQ(p.tracks[2][0].param, 0x15);
    EXPECT_EQ(p.tracks[0][1].volumeEffect, VolumeEffect::None);
    EXPECT_EQ(p.tracks[0][1].effect, Effect::None);
}

TEST_F(S3MLoader, ChannelCountIsTheHighestChannelUsed) {
    S3MSpec desc;
    desc.patterns = {S3MPattern({}), S3MPattern({{}, {S3MEvent(12, 0x40, 0)}})};
    const Mod& song = Taken(BuildS3M(desc));
    EXPECT_EQ(song.nbChannels, 13);
    for (int p = 0; p < 2; p++) {
        EXPECT_EQ(song.patterns[p].nbRows, 64);
        for (int ch = 0; ch < kMaxChannels; ch++) {
            ASSERT_NE(song.patterns[p].tracks[ch], nullptr);
            EXPECT_EQ(song.patterns[p].tracks[ch][63].note, -1);
            EXPECT_EQ(song.patterns[p].tracks[ch][63].volumeEffect, VolumeEffect::None);
        }
    }
    EXPECT_EQ(song.patterns[1].tracks[12][1].note, 48);
    EXPECT_EQ(song.declaredChannels, 16) << "the header's sixteen, not the patterns' thirteen";
    std::fill(desc.channelSettings + 10, desc.channelSettings + 16, 255);  // unused from 10 on
    desc.channelSettings[3] |= 0x80;                                       // muted: still counted
    EXPECT_EQ(Taken(BuildS3M(desc)).declaredChannels, 10);
    std::fill(desc.channelSettings, desc.channelSettings + 10, 255);
    EXPECT_EQ(Taken(BuildS3M(desc)).declaredChannels, 13) << "a header that lists none leaves the patterns' count";
}

// Channel 31 is an ordinary channel: its events do not end the row.
TEST_F(S3MLoader, ChannelThirtyOneDoesNotAdvanceTheRow) {
    S3MSpec desc;
    desc.patterns = {S3MPattern({{S3MEvent(31, 0x40, 0), S3MEvent(0, 0x41, 0)}, {S3MEvent(0, 0x42, 0)}})};
    const Mod& song = Taken(BuildS3M(desc));
    EXPECT_EQ(song.nbChannels, 32);
    EXPECT_EQ(song.patterns[0].tracks[31][0].note, 48);
    EXPECT_EQ(song.patterns[0].tracks[0][0].note, 49);
    EXPECT_EQ(song.patterns[0].tracks[0][1].note, 50);
    EXPECT_EQ(song.patterns[0].tracks[0][2].note, -1);
}

TEST_F(S3MLoader, SampleConversions) {
    S3MSpec desc;
    desc.samples = {
        Sample(8363, {0, 127, 255}),
        Sample(8363, {0x00, 0x00, 0xFF, 0x7F, 0xFF, 0xFF}, 4),
        // Stereo: the whole left channel, then the whole right one.
        Sample(8363, {0, 10, 255, 20}, 2),
        Sample(8363, {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x7F}, 6),
    };
    desc.patterns = {S3MPattern({})};
    const Mod& song = Taken(BuildS3M(desc));
    auto expect = [&](int slot, std::vector<int> frames) {
        const ModSample& s = song.samples[slot];
        ASSERT_EQ(s.length, static_cast<int>(frames.size())) << slot;
        ASSERT_NE(s.data, nullptr);
        for (size_t i = 0; i < frames.size(); i++) EXPECT_EQ(s.data[i], frames[i]) << slot << " frame " << i;
    };
    expect(1, {-24384, 0, 24576});
    expect(2, {-21844, 0, 21845});
    EXPECT_EQ(song.samples[2].is16Bit, 1);
    expect(3, {0, (15 - 127) * 192});
    EXPECT_EQ(song.samples[3].stereo, 1);
    // (65535 + 65535) / 2 without 16-bit overflow, and (0 + 32767) / 2.
    expect(4, {21845, static_cast<int>(static_cast<float>(16383 - 32767) * 0.6666667f)});
}

TEST_F(S3MLoader, SampleHeaderFields) {
    S3MSampleSpec looped = Sample(8363, std::vector<uint8_t>(6000, 128), 1);
    looped.loopBegin = 1000;
    looped.loopEnd = 5000;
    looped.volume = 70;
    looped.name = "twenty-eight characters long";
    S3MSampleSpec unlooped = looped;
    unlooped.flags = 0;
    S3MSampleSpec backwards = looped;
    backwards.loopBegin = 5000;
    backwards.loopEnd = 1000;
    S3MSampleSpec empty = Sample(8363);
    S3MSpec desc;
    desc.samples = {looped, unlooped, backwards, empty};
    desc.patterns = {S3MPattern({})};
    const Mod& song = Taken(BuildS3M(desc));
    EXPECT_EQ(song.samples[1].loopStart, 1000);
    EXPECT_EQ(song.samples[1].loopLength, 4000);
    EXPECT_EQ(song.samples[1].loopOn, 1);
    EXPECT_EQ(song.samples[1].volume, 70);  // not clamped
    EXPECT_STREQ(song.samples[1].name, "twenty-eight characters long");
    EXPECT_EQ(song.samples[2].loopStart, 1000);
    EXPECT_EQ(song.samples[2].loopLength, 0);
    EXPECT_EQ(song.samples[3].loopLength, 0);  // an end before the begin is no loop
    EXPECT_EQ(song.samples[4].length, 0);
    EXPECT_EQ(song.samples[4].data, nullptr);
    EXPECT_EQ(song.samples[1].fileOffset % 16, 0);
}

TEST_F(S3MLoader, ParapointersPastTheEndGiveEmptyPatternsAndSamples) {
    S3MSpec desc;
    desc.samples = {Sample(8363, {1, 2, 3}), Sample(8363, {4, 5, 6})};
    desc.samples[1].dataPointer = 0xFFFFFF;
    desc.patterns = {S3MPattern({{S3MEvent(0, 0x40, 1)}})};
    desc.instrumentPointers = {0xFFFF};
    desc.patternPointers = {0xFFFF};
    EXPECT_EQ(Refused(BuildS3M(desc)), Refusal::TruncatedPatterns) << "its one pattern lies past the end";

    desc.instrumentPointers.clear();
    desc.patternPointers.clear();
    const Mod& other = Taken(BuildS3M(desc));
    EXPECT_EQ(other.samples[1].length, 3);
    EXPECT_EQ(other.samples[2].length, 0);  // its data parapointer lies past the end
    EXPECT_EQ(other.samples[2].data, nullptr);
}

TEST_F(S3MLoader, PatternCutByTheEndIsRefusedAsCut) {
    S3MSpec desc;
    desc.patterns = {S3MPattern({{S3MEvent(0, 0x40, 0)}, {S3MEvent(1, 0x41, 0, -1, 1, 6)}})};
    std::vector<uint8_t> bytes = BuildS3M(desc);
    size_t end = bytes.size() - 64;  // inside the event of row 1: its info byte is gone
    ASSERT_EQ(bytes[end - 1], 1);    // the command byte
    bytes.resize(end);
    EXPECT_EQ(Refused(bytes), Refusal::TruncatedPatterns);
}

// Negative counts, or counts whose tables the file cannot hold, are no S3M
// header; counts a large file can hold are cut to what the record holds.
TEST_F(S3MLoader, CountsAreBoundedByTheRecord) {
    S3MSpec desc;
    desc.patterns = {S3MPattern({})};
    desc.orderCount = 0xFFFF;  // -1
    desc.instrumentCount = 0x8000;
    desc.patternCount = 0xFFFF;
    for (int huge : {0, 1}) {
        if (huge) desc.orderCount = desc.instrumentCount = desc.patternCount = 32767;
        EXPECT_EQ(Refused(BuildS3M(desc)), Refusal::NotAModule);
    }

    std::vector<uint8_t> bytes = BuildS3M(desc);
    bytes.resize(200000, 0);
    const Mod& huge = Taken(bytes);
    EXPECT_EQ(huge.songLength, kMaxOrders);
    EXPECT_EQ(huge.nbInstruments, 255);
    EXPECT_EQ(huge.nbPatterns, 513);
    for (int s = 1; s <= 255; s++) EXPECT_EQ(huge.samples[s].data, nullptr) << s;
}

TEST_F(S3MLoader, SkippedParapointersKeepTheListsInPlace) {
    S3MSpec desc;
    desc.samples.assign(600, Sample(8363));
    desc.samples[0] = Sample(8363, {200});
    desc.patterns = {S3MPattern({{S3MEvent(3, 0x40, 1)}})};
    const Mod& song = Taken(BuildS3M(desc));
    EXPECT_EQ(song.nbInstruments, 255);
    EXPECT_EQ(song.samples[1].data[0], (200 - 127) * 192);
    EXPECT_EQ(song.patterns[0].tracks[3][0].note, 48);
}

TEST_F(S3MLoader, SamplesSharingTheirDataAreBoundedByTheFileSize) {
    S3MSpec desc;
    desc.samples.assign(200, Sample(8363, std::vector<uint8_t>(4000, 127)));
    desc.patterns = {S3MPattern({})};
    // Point every header at the first sample's data.
    int32_t shared = Taken(BuildS3M(desc)).samples[1].fileOffset / 16;
    for (auto& s : desc.samples) s.dataPointer = shared;
    for (size_t i = 1; i < desc.samples.size(); i++) desc.samples[i].data.clear();
    const std::vector<uint8_t> bytes = BuildS3M(desc);
    const Mod& song = Taken(bytes);
    int64_t frames = 0;
    for (int s = 1; s <= song.nbInstruments; s++) frames += song.samples[s].length;
    EXPECT_LE(frames, static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(song.samples[1].length, 4000);
}

}  // namespace
}  // namespace moddeck
