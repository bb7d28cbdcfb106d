// IT loader: header, channels, orders and message; packed patterns with
// their memories; samples plain, unsigned, delta, stereo and packed, with
// both loops; instruments of both layouts; files that lie.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "loaders/loaders.h"
#include "support/it_builder.h"
#include "support/player_fixture.h"

namespace moddeck {
namespace {

using test::BuildIT;
using test::ITCell;
using test::ITSampleSpec;
using test::ITSpec;

// Packed rows: each row's cells, then the byte that ends it.
std::vector<uint8_t> Rows(std::initializer_list<std::vector<uint8_t>> rows) {
    std::vector<uint8_t> out;
    for (const auto& row : rows) out.insert(out.end(), row.begin(), row.end()), out.push_back(0);
    return out;
}

class ITLoader : public test::PlayerTest {
protected:
    const Mod& Load(const ITSpec& desc) {
        image_ = BuildIT(desc);
        return Taken(image_);
    }
    std::vector<uint8_t> image_;
};

TEST_F(ITLoader, HeaderChannelsOrdersAndMessage) {
    ITSpec d;
    d.flags = 1 | 4;
    d.speed = 0;
    d.pans[1] = 0, d.pans[2] = 100, d.pans[3] = 128 + 64;
    d.orders = {1, 254, 0, 3, 255, 1};
    d.message = "line one\rline two";
    d.patterns = {{64, {}}, {300, Rows({ITCell(5, 60, 1)})}};
    const Mod& m = Load(d);
    EXPECT_STREQ(m.title, "it test");
    EXPECT_STREQ(m.tracker, "Impulse Tracker 2.14");
    EXPECT_TRUE(m.isIT && m.behaviour.instruments && !m.linearFreq);
    EXPECT_EQ(m.speed, 6);
    EXPECT_EQ(m.songLength, 4);
    EXPECT_EQ(m.orders[1], 254);
    EXPECT_EQ(m.nbPatterns, 4);
    EXPECT_EQ(m.patterns[3].nbRows, 64);
    EXPECT_EQ(m.patterns[1].nbRows, 200);
    EXPECT_EQ(m.nbChannels, 6);
    EXPECT_FLOAT_EQ(m.channelPan[1], 1.0f);
    EXPECT_FLOAT_EQ(m.channelPan[2], 0.5f);
    EXPECT_FLOAT_EQ(m.channelPan[3], 0.0f);
    EXPECT_EQ(m.channelVolume[3], 0);
    EXPECT_EQ(m.channelVolume[0], 64);
    EXPECT_STREQ(m.message, "line one\nline two");
}

TEST_F(ITLoader, PackedCellsRepeatMasksAndValues) {
    ITSpec d;
    // Row 1 reuses channel 0's mask (no bit 7); row 2 says "as before" for
    // all four parts.
    d.patterns = {{6, Rows({ITCell(0, 48, 2, 30, 1, 3), {1, 50, 3, 40, 1, 3}, {0x81, 0xF0}, ITCell(1, 255),
                            ITCell(1, 254), ITCell(1, 200)})}};
    const Mod& m = Load(d);
    const ModCell* c = m.patterns[0].tracks[0];
    EXPECT_EQ(c[0].note, 48);
    EXPECT_EQ(c[1].note, 50);
    EXPECT_EQ(c[1].instrument, 3);
    EXPECT_EQ(c[2].note, 50);
    EXPECT_EQ(c[2].instrument, 3);
    EXPECT_EQ(m.patterns[0].tracks[1][3].note, kCellNoteOff);
    EXPECT_EQ(m.patterns[0].tracks[1][4].note, kCellNoteCut);
    EXPECT_EQ(m.patterns[0].tracks[1][5].note, kCellNoteFade);
    EXPECT_EQ(m.patterns[0].tracks[2], nullptr);
}

TEST_F(ITLoader, SamplesInEveryStorage) {
    ITSpec d;
    auto add = [&](uint8_t flags, uint8_t convert, std::vector<uint8_t> data, uint32_t frames) {
        ITSampleSpec s;
        s.flags = flags, s.convert = convert, s.length = frames, s.data = std::move(data);
        s.loopBegin = 1, s.loopEnd = 99, s.sustainBegin = 2, s.sustainEnd = 1, s.pan = 0x80 | 16;
        d.samples.push_back(s);
    };
    add(1 | 0x10 | 0x40, 1, {0x10, 0xF0, 0x20}, 3);  // signed, ping-pong loop
    add(1 | 0x20, 0, {0x80, 0xFF}, 2);                // unsigned; sustain loop ending before its start
    add(1 | 2, 1 | 4, {0x00, 0x01, 0x00, 0x01}, 2);   // 16-bit delta
    add(1 | 4, 1, {10, 20, 30, 40}, 2);               // stereo: left, then right
    add(1 | 8, 1, test::PackITSample({5, -7, 100}, false, false), 3);
    add(1 | 2 | 8, 1 | 4, test::PackITSample({300, -3000, 32000, 0}, true, true), 4);
    const Mod& m = Load(d);
    const ModSample* s = m.samples;
    EXPECT_EQ(s[1].data[1], -0x1000);
    EXPECT_EQ(s[1].loopType, 2);
    EXPECT_EQ(s[1].loopStart + s[1].loopLength, 3);
    EXPECT_TRUE(s[1].setsPanning && s[1].panning == 64);
    EXPECT_EQ(s[2].data[0], 0);
    EXPECT_EQ(s[2].data[1], 0x7F00);
    EXPECT_EQ(s[2].sustainType, 0);
    EXPECT_EQ(s[3].data[1], 0x200);
    EXPECT_EQ(s[4].data[1], 30 * 256);
    EXPECT_EQ(std::vector<int16_t>(s[5].data, s[5].data + 3), (std::vector<int16_t>{5 * 256, -7 * 256, 100 * 256}));
    EXPECT_EQ(std::vector<int16_t>(s[6].data, s[6].data + 4), (std::vector<int16_t>{300, -3000, 32000, 0}));
}

TEST_F(ITLoader, InstrumentsOfBothLayouts) {
    ITSpec d;
    d.flags = 4;
    test::ITInstrumentSpec in;
    in.newNoteAction = 3, in.duplicateCheck = 2, in.fadeout = 100, in.pan = 32, in.cutoff = 0x80 | 50, in.sample = 7;
    in.volume = {1 | 2 | 4, {{64, 0}, {90, 10}, {0, 20}}, 1, 9, 2, 0};
    in.pitch = {1 | 0x80, {{-40, 0}, {8, 4}}};
    d.instruments = {in};
    d.patterns = {{64, {}}};
    const ModInstrument& n = Load(d).instruments[1];
    EXPECT_EQ(n.newNoteAction, NewNoteAction::Fade);
    EXPECT_EQ(n.duplicateCheck, DuplicateCheck::Sample);
    EXPECT_EQ(n.fadeout, 3200);
    EXPECT_TRUE(n.setsPanning && n.panning == 128);
    EXPECT_EQ(n.filterCutoff, 50);
    EXPECT_EQ(n.filterResonance, -1);
    EXPECT_EQ(n.noteSample[30], 7);
    EXPECT_EQ(n.volType, kEnvelopeOn | kEnvelopeLoop | kEnvelopeSustain);
    EXPECT_EQ(n.volEnvelope[1].y, 64);
    EXPECT_EQ(n.volLoopEnd, 2);
    EXPECT_EQ(n.volSustainEnd, 2);
    EXPECT_EQ(n.pitchType, kEnvelopeOn | kEnvelopeFilter);
    EXPECT_EQ(n.pitchEnvelope[0].y, -32);

    d.compatibleWith = 0x100;
    const ModInstrument& old = Load(d).instruments[1];
    EXPECT_EQ(old.nbVolPoints, 3);
    EXPECT_EQ(old.volEnvelope[2].x, 20);
    EXPECT_EQ(old.fadeout, 6400);
    EXPECT_EQ(old.duplicateCheck, DuplicateCheck::Note);
    EXPECT_EQ(std::strncmp(old.name, "instrument", 10), 0);
}

TEST_F(ITLoader, FilesThatLie) {
    ITSpec d;
    ITSampleSpec s;
    s.length = 1u << 30, s.data = {1, 2, 3};
    d.samples = {s};
    EXPECT_EQ(Load(d).samples[1].length, 3);
    d.patterns = {{64, Rows({ITCell(63, 1, 1, 1, 1)})}};
    EXPECT_EQ(Load(d).nbChannels, 64);

    image_.resize(image_.size() - 4);  // into the pattern
    EXPECT_EQ(Refused(image_), Refusal::TruncatedPatterns);
    image_.resize(0xC0);  // the offset tables are gone
    EXPECT_EQ(Refused(image_), Refusal::NotAModule);
    EXPECT_EQ(ProbeSong(BuildIT(d).data(), BuildIT(d).size()), FileFormat::IT);
}

}  // namespace
}  // namespace moddeck
