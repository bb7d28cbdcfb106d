// Ogg Vorbis through the real OpenAL Soft: what the device plays is the
// stream's decoded PCM, and files opened one after the other leave nothing
// behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "audio/ogg_player.h"
#include "e2e/capture.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

// Writes the stream to a file of the work folder (for the reference
// decoder) and returns its bytes.
std::vector<uint8_t> MakeOgg(const std::string& path, int frames, const test::OggSpec& desc) {
    const auto bytes = test::EncodeOggVorbis(
        test::MakeTones(frames, desc.channels, desc.rate, {523.25, 659.25}, 0.6), desc);
    EXPECT_TRUE(test::WriteBytes(path, bytes));
    return bytes;
}

TEST(OggThroughOpenAL, TheDevicePlaysTheDecodedStreamThenSilence) {
    const std::string path = test::WorkDir() + "/tune.ogg";
    const std::vector<uint8_t> bytes = MakeOgg(path, 44100 + 1234, test::OggSpec{});
    const test::DecodedOgg ref = test::DecodeOggFile(path);
    ASSERT_TRUE(ref.ok);
    AudioDevice audio;
    audio.BringUp();
    ASSERT_NE(audio.device(), nullptr);
    OggPlayer ogg;
    ASSERT_TRUE(StartOggPlayer(ogg, bytes.data(), bytes.size()));
    usleep(1800 * 1000);  // the stream, 300 ms of queue, and the lead-in
    StopOggPlayer(ogg);
    audio.ShutDown();

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
        const auto bytes = MakeOgg(test::WorkDir() + "/rate.ogg", c.rate / 2, test::OggSpec{c.channels, c.rate});
        AudioDevice audio;
        audio.BringUp();
        OggPlayer ogg;
        ASSERT_TRUE(StartOggPlayer(ogg, bytes.data(), bytes.size()));
        usleep(1200 * 1000);
        StopOggPlayer(ogg);
        audio.ShutDown();
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
    const auto bytes = MakeOgg(test::WorkDir() + "/short.ogg", 22050, test::OggSpec{});
    AudioDevice audio;
    audio.BringUp();
    ASSERT_TRUE(AudioReady());
    alGetError();
    OggPlayer ogg;
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    ALuint last[1 + kOutputBuffers] = {};
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(StartOggPlayer(ogg, bytes.data(), bytes.size())) << "file " << i;
        ASSERT_NE(ogg.output.source(), 0u) << "file " << i;
        ASSERT_TRUE(alIsSource(ogg.output.source())) << "file " << i;
        last[0] = ogg.output.source();
        for (int b = 0; b < kOutputBuffers; ++b) last[1 + b] = ogg.output.buffers()[b];
        StopOggPlayer(ogg);
        ASSERT_FALSE(alIsSource(last[0])) << "file " << i;
        for (int b = 1; b <= kOutputBuffers; ++b) ASSERT_FALSE(alIsBuffer(last[b])) << "file " << i;
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    EXPECT_EQ(test::CountThreads(), threads);
    // And the next one still plays.
    ASSERT_TRUE(StartOggPlayer(ogg, bytes.data(), bytes.size()));
    usleep(150 * 1000);
    ALint state = 0;
    alGetSourcei(ogg.output.source(), AL_SOURCE_STATE, &state);
    EXPECT_EQ(state, AL_PLAYING);
    StopOggPlayer(ogg);
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
}

}  // namespace
}  // namespace moddeck
