// XM envelopes, fade-out and instrument vibrato: the envelopes' values, an
// envelope that is off, the panning, and over the ticks of a song the
// sustain released by a key off, the loop and the fade-out.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "engine/envelopes.h"
#include "engine/player.h"
#include "support/player_fixture.h"
#include "support/song_builder.h"

namespace moddeck {
namespace {

using test::Constant;
using test::SongBuilder;

// Both envelopes of `ins` set to `points`; nothing else of it changes.
void SetEnvelopes(ModInstrument& ins, int type, std::initializer_list<std::pair<int, int>> points) {
    ins.volType = type;
    ins.panType = type;
    int k = 0;
    for (auto [x, y] : points) {
        ins.volEnvelope[k] = ins.panEnvelope[k] = EnvelopePoint{static_cast<uint16_t>(x), static_cast<int16_t>(y)};
        k++;
    }
    ins.nbVolPoints = ins.nbPanPoints = k;
}

ModInstrument Envelope(int type, std::initializer_list<std::pair<int, int>> points) {
    ModInstrument ins{};
    SetEnvelopes(ins, type, points);
    return ins;
}

std::vector<float> VolumeOver(const ModInstrument& ins, int from, int to) {
    std::vector<float> e;
    for (int u = from; u <= to; u++) e.push_back(VolumeEnvelopeValue(ins, u));
    return e;
}

TEST(Envelopes, ValuesInterpolateAndHoldBothEnds) {
    ModInstrument ins = Envelope(1, {{2, 64}, {12, 32}});
    EXPECT_EQ(VolumeOver(ins, 0, 2), (std::vector<float>{64, 64, 64}));
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 7), 48.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 12), 32.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 5000), 32.0f);  // the last point holds
    ins.nbVolPoints = 200;  // a count past the record is bounded
    EXPECT_GE(VolumeEnvelopeValue(ins, 5000), 0.0f);
    ModInstrument stray = Envelope(1, {{0, 300}, {10, -64}});
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(stray, 0), 64.0f);
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(stray, 10), 0.0f);
}

TEST(Envelopes, AnEnvelopeThatIsOffDoesNothing) {
    // Sustain and loop bits without the "on" bit: full volume, the channel's panning.
    ModInstrument ins = Envelope(2 | 4, {{0, 0}, {10, 0}});
    EXPECT_FLOAT_EQ(VolumeEnvelopeValue(ins, 5), 64.0f);
    EXPECT_FLOAT_EQ(PanningOfVoice(ins, 128, 5), PanningOfVoice(Envelope(0, {}), 128, 5));
}

// XM panning follows a curve that bends towards the sides.
TEST(Envelopes, PanningRunsFromLeftToRight) {
    ModInstrument off = Envelope(0, {});
    EXPECT_FLOAT_EQ(PanningOfVoice(off, 0, 0), 1.0f);    // all to the left
    EXPECT_FLOAT_EQ(PanningOfVoice(off, 255, 0), 0.0f);  // all to the right
    EXPECT_NEAR(PanningOfVoice(off, 128, 0), 1 - 0.531, 0.001);
    EXPECT_FLOAT_EQ(PanCurve(0.5f), 0.5f);
    // The envelope moves the pan as far as the side allows: 64 is the right.
    ModInstrument on = Envelope(1, {{0, 64}, {10, 32}, {20, 0}});
    EXPECT_FLOAT_EQ(PanningOfVoice(on, 128, 0), 0.0f);
    EXPECT_FLOAT_EQ(PanningOfVoice(on, 0, 10), 1.0f);
    EXPECT_FLOAT_EQ(PanningOfVoice(on, 128, 20), 1.0f);
    EXPECT_LT(PanningOfVoice(on, 255, 20), 0.1f);  // a channel at the right stays near it
}

class XMInstrumentTest : public test::PlayerTest {
protected:
    // One channel, speed 3: the note on row 0 (a looping sample), a key off
    // on row `offRow`.
    void Play(int offRow) {
        b.InstrumentSample(1).loopType = 1;
        b.InstrumentSample(1).loopLength = 1000;
        b.Put(0, 0, 0, 49, 1);
        b.Put(0, offRow, 0, 97, 0);
        PlaySong(b.song());
        Speed(*player) = 3;
    }
    // Volume envelope positions and fade levels over `ticks` ticks.
    std::vector<std::pair<int, int>> Ticks(int ticks) {
        std::vector<std::pair<int, int>> out;
        for (int i = 0; i < ticks; i++) {
            test::PlayTicks(*player, 1);
            out.push_back({player->Voices[0].volenvpos, player->Voices[0].fadevolume});
        }
        return out;
    }
    SongBuilder b{FileFormat::XM, 1, 1, 16};
    ModInstrument& ins = b.AddInstrument(1, Constant(1000, 1000));
};

TEST_F(XMInstrumentTest, SustainHoldsUntilTheKeyIsReleasedThenTheFadeRunsEveryTick) {
    SetEnvelopes(ins, 1 | 2, {{0, 64}, {2, 48}, {8, 0}});
    ins.volSustain = 1;
    ins.fadeout = 4096;
    Play(2);
    const auto t = Ticks(12);
    EXPECT_EQ(t[2].first, 2);   // reaches the sustain point
    EXPECT_EQ(t[5].first, 2);   // and holds there
    EXPECT_EQ(t[5].second, 65536);
    EXPECT_EQ(t[6].first, 2);   // the key off's tick: released from here on
    EXPECT_EQ(t[7].first, 3);
    EXPECT_EQ(t[7].second, 65536 - 8192);
    EXPECT_EQ(t[11].second, 65536 - 5 * 8192);
}

TEST_F(XMInstrumentTest, LoopsRunAndAKeyOffWithoutAVolumeEnvelopeCuts) {
    SetEnvelopes(ins, 1 | 4, {{0, 0}, {4, 64}, {8, 0}});
    ins.volLoopStart = 1;
    ins.volLoopEnd = 2;
    Play(5);
    std::vector<int> positions;
    for (auto [pos, fade] : Ticks(12)) positions.push_back(pos);
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7}));

    ins.volType = 0;  // no volume envelope: the key off silences the note
    Play(1);
    Ticks(3);
    EXPECT_GT(player->Voices[0].volume, 0);
    Ticks(1);
    EXPECT_EQ(player->Voices[0].volume, 0);
}

TEST_F(XMInstrumentTest, EnvelopePositionsCountTicksFromTheNote) {
    SetEnvelopes(ins, 1, {{0, 64}, {100, 64}});
    ins.panType = 1;
    b.Put(0, 2, 0, 49, 1);
    Play(15);
    const auto t = Ticks(8);
    EXPECT_EQ(t[0].first, 0);  // the note's first tick is position 0
    EXPECT_EQ(t[4].first, 4);
    EXPECT_EQ(player->Voices[0].panenvpos, 1);
    EXPECT_EQ(t[6].first, 0);  // a new note restarts them
}

}  // namespace
}  // namespace moddeck
