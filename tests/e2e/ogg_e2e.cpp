// Ogg Vorbis through the real OpenAL Soft: what the device plays is the
// stream's decoded PCM, and files opened one after the other leave nothing
// behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "e2e/capture.h"
#include "engine/output.h"
#include "ogg/ogg_player.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

std::string MakeOgg(const std::string& name, int frames, const test::OggSpec& desc) {
    const std::string path = test::WorkDir() + "/" + name;
    const auto bytes = test::EncodeOggVorbis(
        test::MakeTones(frames, desc.channels, desc.rate, {523.25, 659.25}, 0.6), desc);
    EXPECT_TRUE(test::WriteBytes(path, bytes));
    return path;
}

// The file the next StartOggPlayer plays.
std::string named;
void Name(const std::string& path) { named = path; }

TEST(OggThroughOpenAL, TheDevicePlaysTheDecodedStreamThenSilence) {
    const std::string path = MakeOgg("tune.ogg", 44100 + 1234, test::OggSpec{});
    const test::DecodedOgg ref = test::DecodeOggFile(path);
    ASSERT_TRUE(ref.ok);
    Name(path);
    AudioBringUp();
    ASSERT_NE(ProcessAudioDevice().device, nullptr);
    ASSERT_TRUE(StartOggPlayer(named.c_str()));
    usleep(1800 * 1000);  // the stream, 300 ms of queue, and the lead-in
    StopOggPlayer();
    AudioShutDown();

    const auto captured = test::ReadWaveSamples(test::CapturePath());
    const long start = test::FirstLoudFrame(captured) - test::FirstLoudFrame(ref.pcm);
    ASSERT_GE(start, 0);
    EXPECT_LE(test::MaxDifference(captured, start, ref.pcm), 1);
    // Then silence: the rest of the last block and the silent blocks.
    const std::vector<int16_t> silence(2 * 4410, 0);
    EXPECT_LE(test::MaxDifference(captured, start + static_cast<long>(ref.pcm.size() / 2), silence), 1);
}

// The span between the first and the last loud frame of a capture.
long LoudSpan(const std::vector<int16_t>& stereo) {
    const long first = test::FirstLoudFrame(stereo, 200);
    long last = first;
    for (size_t i = 0; i < stereo.size(); ++i)
        if (std::abs(stereo[i]) > 200) last = static_cast<long>(i / 2);
    return last - first;
}

TEST(OggThroughOpenAL, StreamsPlayAtTheirOwnRate) {
    // Half a second of each: at the device's 44,100 Hz it must last 22,050
    // frames whatever the stream's rate; played at the wrong rate it would
    // last 24,000 (48 kHz) or 11,025 (22.05 kHz) frames.
    struct Case {
        int channels, rate;
    } cases[] = {{2, 48000}, {1, 22050}};
    for (const Case& c : cases) {
        Name(MakeOgg("rate.ogg", c.rate / 2, test::OggSpec{c.channels, c.rate}));
        AudioBringUp();
        ASSERT_TRUE(StartOggPlayer(named.c_str()));
        usleep(1200 * 1000);
        StopOggPlayer();
        AudioShutDown();
        const auto captured = test::ReadWaveSamples(test::CapturePath());
        EXPECT_NEAR(LoudSpan(captured), 22050, 250) << c.rate << " Hz";
        if (c.channels == 1) {
            int32_t worst = 0;
            for (size_t i = 0; i + 1 < captured.size(); i += 2)
                worst = std::max(worst, std::abs(int32_t(captured[i]) - captured[i + 1]));
            EXPECT_LE(worst, 1) << "mono must sound alike on both sides";
        }
    }
}

TEST(OggThroughOpenAL, AThousandFilesInARowLeaveNoSourceBufferOrThreadBehind) {
    Name(MakeOgg("short.ogg", 22050, test::OggSpec{}));
    AudioBringUp();
    ASSERT_TRUE(AudioReady());
    alGetError();
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    ALuint last[4] = {};
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(StartOggPlayer(named.c_str())) << "file " << i;
        ASSERT_NE(ProcessOggPlayer().source_ogg, 0u) << "file " << i;
        ASSERT_TRUE(alIsSource(ProcessOggPlayer().source_ogg)) << "file " << i;
        last[0] = ProcessOggPlayer().source_ogg;
        for (int b = 0; b < 3; ++b) last[1 + b] = ProcessOggPlayer().buffer_ogg[b];
        StopOggPlayer();
        ASSERT_FALSE(alIsSource(last[0])) << "file " << i;
        for (int b = 1; b < 4; ++b) ASSERT_FALSE(alIsBuffer(last[b])) << "file " << i;
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    EXPECT_EQ(test::CountThreads(), threads);
    // And the next one still plays.
    ASSERT_TRUE(StartOggPlayer(named.c_str()));
    usleep(150 * 1000);
    ALint state = 0;
    alGetSourcei(ProcessOggPlayer().source_ogg, AL_SOURCE_STATE, &state);
    EXPECT_EQ(state, AL_PLAYING);
    StopOggPlayer();
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

}  // namespace
}  // namespace moddeck
