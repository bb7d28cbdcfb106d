#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "loaders/loaders.h"
#include "support/player_fixture.h"
#include "support/xm_builder.h"

using namespace moddeck;
using namespace moddeck::test;

namespace {

using XMLoader = PlayerTest;

XMSpec OnePattern(std::vector<uint8_t> packed, uint16_t rows = 64, uint16_t channels = 4) {
    XMSpec desc;
    desc.channels = channels;
    desc.patterns.push_back({rows, std::move(packed)});
    return desc;
}

const ModCell& Cell(const Mod* m, int pattern, int channel, int row) {
    return m->patterns[pattern].tracks[channel][row];
}

void ExpectEmpty(const ModCell& c) {
    EXPECT_EQ(c.note, -1);
    EXPECT_EQ(c.instrument, 0);
    EXPECT_EQ(c.volumeEffect, VolumeEffect::None);
    EXPECT_EQ(c.effect, Effect::None);
    EXPECT_EQ(c.param, 0);
}

TEST_F(XMLoader, HeaderFields) {
    XMSpec desc = OnePattern({});
    desc.title = "Twenty chars exactly";
    desc.songLength = 3;
    desc.restart = 2;
    desc.flags = 0x0003;
    desc.speed = 5;
    desc.bpm = 140;
    desc.orders = {0, 0, 0};
    desc.orders.resize(256, 0);
    desc.orders[255] = 7;
    const Mod* m = &Taken(BuildXM(desc));
    EXPECT_EQ(m->isXM, 1u);
    EXPECT_EQ(m->isS3M, 0u);
    EXPECT_STREQ(m->title, "Twenty chars exactly");
    EXPECT_EQ(m->songLength, 3);
    EXPECT_EQ(m->restartPos, 2);
    EXPECT_EQ(m->nbChannels, 4);
    EXPECT_EQ(m->linearFreq, 1);
    EXPECT_EQ(m->speed, 5);
    EXPECT_EQ(m->bpm, 140);
    EXPECT_EQ(m->orders[255], 7);
    EXPECT_EQ(m->orders[256], 0);
}

TEST_F(XMLoader, HeaderSizeDecidesWhereThePatternsStart) {
    // A longer header is skipped; a shorter one gives fewer order bytes.
    for (uint32_t header : {276u, 300u, 30u}) {
        XMSpec desc = OnePattern({0x31, 0x02, 0x40, 0x00, 0x00});
        desc.headerSize = header;
        desc.orders.assign(10, 0);
        const Mod* m = Load(BuildXM(desc));
        ASSERT_NE(m, nullptr) << header;
        EXPECT_EQ(Cell(m, 0, 0, 0).note, 49) << header;
    }
}

TEST_F(XMLoader, OlderVersionsKeepSampleDataLastAndOneByteRows) {
    for (uint16_t version : {0x0102, 0x0103, 0x0104}) {
        XMSpec desc = OnePattern({0x31, 0x01, 0x40, 0x00, 0x00}, 32);
        desc.version = version;
        XMInstrumentSpec ins;
        ins.samples.push_back(XMSampleSpec{{1, 1, 1, 1}, 4});
        desc.instruments = {ins, ins};
        const Mod* m = Load(BuildXM(desc));
        ASSERT_NE(m, nullptr) << version;
        EXPECT_EQ(m->patterns[0].nbRows, 32) << version;
        EXPECT_EQ(Cell(m, 0, 0, 0).note, 49) << version;
        ASSERT_EQ(m->instruments[2].nbSamples, 1) << version;
        EXPECT_EQ(m->instruments[2].samples[0].length, 4) << version;
        EXPECT_EQ(m->instruments[2].samples[0].data[3], 4 * 256) << version;
    }
}

TEST_F(XMLoader, PackedCells) {
    std::vector<uint8_t> packed = {
        0x31, 0x02, 0x40, 0x00, 0x00,  // row 0 ch 0: unpacked note 49, instrument 2, volume 0x40
        0x80,                          // ch 1: empty
        0x98, 0x0D, 0x25,              // ch 2: pattern break 25
        0x98, 0x0F, 0x25,              // ch 3: speed 0x25 unchanged
        0x81, 97,                      // row 1 ch 0: key off
        0x98, 0x0D, 0x1F,              // ch 1: break "1F" becomes 25, unchecked
        0x00, 0x00, 0x00, 0x00, 0x00,  // ch 2: unpacked note byte 0 is no note
    };
    const Mod* m = &Taken(BuildXM(OnePattern(packed)));
    const ModCell& a = Cell(m, 0, 0, 0);
    EXPECT_EQ(a.note, 49);
    EXPECT_EQ(a.instrument, 2);
    EXPECT_EQ(a.volumeEffect, VolumeEffect::SetVolume);
    EXPECT_EQ(a.volumeParam, 0x30);
    ExpectEmpty(Cell(m, 0, 1, 0));
    EXPECT_EQ(Cell(m, 0, 2, 0).effect, Effect::PatternBreak);
    EXPECT_EQ(Cell(m, 0, 2, 0).param, 25);
    EXPECT_EQ(Cell(m, 0, 3, 0).effect, Effect::SetTempo);
    EXPECT_EQ(Cell(m, 0, 3, 0).param, 0x25);
    EXPECT_EQ(Cell(m, 0, 0, 1).note, 97);
    EXPECT_EQ(Cell(m, 0, 1, 1).param, 25);
    EXPECT_EQ(Cell(m, 0, 2, 1).note, -1);
    ExpectEmpty(Cell(m, 0, 3, 1));
    ExpectEmpty(Cell(m, 0, 3, 63));
}

TEST_F(XMLoader, PackedDataShorterOrLongerThanThePattern) {
    XMSpec desc;
    desc.channels = 2;
    // Ends inside a cell: the note is announced but the data is used up.
    desc.patterns.push_back({4, {0x83, 0x30}});
    // More data than 1 row x 2 channels need: the surplus is skipped.
    desc.patterns.push_back({1, {0x81, 0x10, 0x81, 0x11, 0x81, 0x12, 0x81, 0x13}});
    // Packed data and 0 rows: loads empty, its data is skipped.
    desc.patterns.push_back({0, {0x81, 0x20}});
    // No packed data at all.
    desc.patterns.push_back({8, {}});
    desc.patterns.push_back({1, {0x81, 0x21}});
    desc.songLength = 5;
    desc.orders = {0, 1, 2, 3, 4};
    const Mod* m = &Taken(BuildXM(desc));
    ASSERT_EQ(m->nbPatterns, 5);
    EXPECT_EQ(Cell(m, 0, 0, 0).note, 0x30);
    EXPECT_EQ(Cell(m, 0, 0, 0).instrument, 0);  // announced after the data ran out
    ExpectEmpty(Cell(m, 0, 1, 0));
    ExpectEmpty(Cell(m, 0, 0, 3));
    EXPECT_EQ(Cell(m, 1, 0, 0).note, 0x10);
    EXPECT_EQ(Cell(m, 1, 1, 0).note, 0x11);
    EXPECT_EQ(m->patterns[2].nbRows, 0);
    EXPECT_EQ(m->patterns[2].tracks[0], nullptr);
    for (int r = 0; r < 8; r++) ExpectEmpty(Cell(m, 3, 1, r));
    EXPECT_EQ(Cell(m, 4, 0, 0).note, 0x21);
    EXPECT_EQ(m->patterns[4].tracks[2], nullptr);  // only the song's channels exist
}

TEST_F(XMLoader, InstrumentsAndEnvelopes) {
    XMSpec desc = OnePattern({});
    XMInstrumentSpec empty;
    empty.name = "no samples";
    XMInstrumentSpec ins;
    ins.name = "lead";
    ins.noteSample[0] = 1;
    ins.noteSample[95] = 2;
    ins.volEnv[0] = 0, ins.volEnv[1] = 64, ins.volEnv[2] = 10, ins.volEnv[3] = 0;
    ins.volPoints = 2;
    ins.volSustain = 1;
    ins.volLoopStart = 0;
    ins.volLoopEnd = 1;
    ins.volType = 7;
    ins.panType = 1;
    ins.fadeout = 4096;
    ins.headerSize = 300;  // a longer header than the fields: the rest is skipped
    XMSampleSpec s;
    s.length = 4;
    s.bytes = {1, 1, 1, 1};
    s.relativeNote = -12;
    s.finetune = -128;
    s.panning = 255;
    ins.samples = {s, s, s};
    desc.instruments = {empty, ins, empty};
    const Mod* m = &Taken(BuildXM(desc));
    ASSERT_EQ(m->nbInstruments, 3);
    EXPECT_EQ(m->instruments[1].nbSamples, 0);
    EXPECT_EQ(m->instruments[1].samples, nullptr);
    const ModInstrument& lead = m->instruments[2];
    EXPECT_EQ(std::string(lead.name, 4), "lead");
    EXPECT_EQ(lead.nbSamples, 3);
    EXPECT_EQ(lead.noteSample[0], 1);
    EXPECT_EQ(lead.noteSample[95], 2);
    EXPECT_EQ(lead.noteSample[96], 0);
    EXPECT_EQ(lead.volEnvelope[0].y, 64);
    EXPECT_EQ(lead.volEnvelope[1].x, 10);
    EXPECT_EQ(lead.volSustain, 1);
    EXPECT_EQ(lead.volType, 7);
    EXPECT_EQ(lead.panType, 1);
    EXPECT_EQ(lead.fadeout, 4096);
    EXPECT_EQ(lead.samples[2].relativeNote, -12);
    EXPECT_EQ(lead.samples[2].finetune, -128);
    EXPECT_EQ(lead.samples[2].panning, 255);
    EXPECT_EQ(lead.samples[2].data[3], 4 * 256);  // delta-coded 1,1,1,1
    EXPECT_EQ(m->instruments[3].nbSamples, 0);   // read from the right place after the data
}

TEST_F(XMLoader, SampleConversions) {
    XMSpec desc = OnePattern({});
    XMInstrumentSpec ins;
    XMSampleSpec wide;  // 16-bit: byte counts become frames
    wide.type = 0x10;
    wide.length = 6;
    wide.loopStart = 200;
    wide.loopLength = 401;
    wide.bytes = {0x01, 0x00, 0x01, 0x00, 0xFE, 0xFF};
    XMSampleSpec narrow;  // 8-bit delta with wrap-around
    narrow.type = 0x03;
    narrow.length = 2;
    narrow.bytes = {0x7F, 0x01};
    XMSampleSpec pingpong;
    pingpong.type = 0x02;
    XMSampleSpec odd;  // 16-bit with an odd byte count: the last byte stays unread
    odd.type = 0x11;
    odd.length = 3;
    odd.bytes = {0x10, 0x00, 0x7F};
    XMSampleSpec after;
    after.length = 1;
    after.bytes = {0x05};
    ins.samples = {wide, narrow, pingpong, odd, after};
    desc.instruments = {ins};
    const Mod* m = &Taken(BuildXM(desc));
    const ModSample* s = m->instruments[1].samples;
    EXPECT_EQ(s[0].is16Bit, 1);
    EXPECT_EQ(s[0].length, 3);
    EXPECT_EQ(s[0].loopStart, 100);
    EXPECT_EQ(s[0].loopLength, 200);
    EXPECT_EQ(s[0].loopType, 0);
    EXPECT_EQ(s[0].data[0], 1);
    EXPECT_EQ(s[0].data[1], 2);
    EXPECT_EQ(s[0].data[2], 0);
    EXPECT_EQ(s[1].loopType, 1);
    EXPECT_EQ(s[1].data[0], 32512);
    EXPECT_EQ(s[1].data[1], -32768);
    EXPECT_EQ(s[2].loopType, 2);
    EXPECT_EQ(s[2].length, 0);
    EXPECT_EQ(s[2].data, nullptr);
    EXPECT_EQ(s[3].length, 1);
    EXPECT_EQ(s[3].data[0], 0x10);
    // The odd byte was not consumed, so the next sample starts on it.
    EXPECT_EQ(s[4].data[0], 0x7F * 256);
}

TEST_F(XMLoader, RejectsWhatTheRecordCannotHold) {
    XMSpec channels = OnePattern({}, 64, 33);
    EXPECT_EQ(Load(BuildXM(channels)), nullptr);
    XMSpec instruments = OnePattern({});
    instruments.instrumentCount = 129;
    EXPECT_EQ(Load(BuildXM(instruments)), nullptr);
    XMSpec length = OnePattern({});
    length.songLength = 257;
    EXPECT_EQ(Load(BuildXM(length)), nullptr);

    XMSpec full = OnePattern({}, 64, 32);
    full.instruments.resize(128);
    full.songLength = 256;
    EXPECT_NE(Load(BuildXM(full)), nullptr);
}

TEST_F(XMLoader, HostileCountsStayBoundedByTheFile) {
    // 65535 patterns of 65535 rows and 32 channels would be 1 TB of cells.
    XMSpec rows;
    rows.channels = 32;
    for (int i = 0; i < 300; i++) rows.patterns.push_back({65535, {}});
    rows.patternCount = 65535;
    EXPECT_EQ(Load(BuildXM(rows)), nullptr);

    // A sample header that claims 4 GB in a tiny file is cut to the bytes there.
    XMSpec huge = OnePattern({});
    XMInstrumentSpec ins;
    XMSampleSpec s;
    s.length = 0xFFFFFFFF;
    s.loopStart = 0xFFFFFFF0;
    s.loopLength = 0xFFFFFFFF;
    s.bytes = {1, 2, 3};
    ins.samples = {s};
    huge.instruments = {ins};
    const Mod* m = &Taken(BuildXM(huge));
    EXPECT_EQ(m->instruments[1].samples[0].length, 3);
    EXPECT_GE(m->instruments[1].samples[0].loopStart, 0);
    EXPECT_GE(m->instruments[1].samples[0].loopLength, 0);
}

TEST_F(XMLoader, EveryCutOfAValidFileLoadsBoundedOrIsRefused) {
    XMSpec desc = OnePattern({0x31, 0x02, 0x40, 0x00, 0x00, 0x98, 0x0D, 0x25, 0x80}, 8, 3);
    XMInstrumentSpec ins;
    ins.volType = 1;
    XMSampleSpec s;
    s.type = 0x10;
    s.length = 8;
    s.bytes = {1, 0, 2, 0, 3, 0, 4, 0};
    ins.samples = {s, s};
    desc.instruments = {ins, XMInstrumentSpec{}};
    std::vector<uint8_t> whole = BuildXM(desc);
    for (size_t cut = 0; cut <= whole.size(); cut++) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + cut);
        const Mod* m = Load(bytes);
        if (!m) continue;
        EXPECT_LE(m->nbChannels, kMaxChannels);
        for (int i = 1; i <= m->nbInstruments; i++) {
            const ModInstrument& in = m->instruments[i];
            for (int j = 0; j < in.nbSamples; j++) {
                EXPECT_LE(in.samples[j].length, static_cast<int32_t>(cut)) << cut;
                if (in.samples[j].length > 0) {
                    EXPECT_NE(in.samples[j].data, nullptr);
                }
            }
        }
    }
    // Short files miss the magic and go to the other loaders.
    EXPECT_EQ(Taken(whole).isXM, 1u);
}

}  // namespace
