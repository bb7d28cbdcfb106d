// Modules through the real OpenAL Soft: the device plays exactly the offline
// render of the song, and modules opened one after the other leave no
// source, buffer or thread behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include "audio/module_output.h"
#include "audio/ogg_player.h"
#include "e2e/capture.h"
#include "support/loud_module.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

// A song loaded from bytes and a player of it at the modules' rate.
struct Module {
    explicit Module(const std::vector<uint8_t>& bytes)
        : song(moddeck_song_load(bytes.data(), bytes.size(), nullptr)), player(moddeck_player_new(song, kModuleRate)) {}
    ~Module() {
        moddeck_player_free(player);
        moddeck_song_free(song);
    }
    moddeck_song* song;
    moddeck_player* player;
};

TEST(ModuleThroughOpenAL, TheDevicePlaysTheOfflineRender) {
    const std::vector<uint8_t> loud = test::BuildLoudModule();
    AudioDevice audio;
    audio.BringUp();
    ASSERT_NE(audio.device(), nullptr);
    {
        Module module(loud);
        ModuleOutput output;
        ASSERT_TRUE(output.Start(module.player));
        usleep(1300 * 1000);
        output.Stop();
    }
    audio.ShutDown();

    // The same song rendered offline, as moddeck-render does.
    Module module(loud);
    std::vector<int16_t> render;
    int16_t block[kModuleBlockSamples];
    for (int b = 0; b < 10; ++b) {
        RenderModuleBlock(module.player, block);
        render.insert(render.end(), block, block + kModuleBlockSamples);
    }
    const auto captured = test::ReadWaveSamples(test::CapturePath());
    const long start = test::FirstLoudFrame(captured) - test::FirstLoudFrame(render);
    ASSERT_GE(start, 0);
    EXPECT_LE(test::MaxDifference(captured, start, render), 1);
}

TEST(ModuleThroughOpenAL, TwoHundredModulesInARowLeaveNoSourceBufferOrThreadBehind) {
    const std::vector<uint8_t> loud = test::BuildLoudModule();
    AudioDevice audio;
    audio.BringUp();
    ASSERT_TRUE(AudioReady());
    alGetError();
    ModuleOutput output;
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    for (int i = 0; i < 200; ++i) {
        Module module(loud);
        ASSERT_TRUE(output.Start(module.player)) << i;
        const ALuint source = output.thread().source();
        ALuint buffers[kOutputBuffers];
        for (int b = 0; b < kOutputBuffers; ++b) buffers[b] = output.thread().buffers()[b];
        ASSERT_TRUE(alIsSource(source)) << i;
        output.Stop();
        ASSERT_EQ(output.thread().acknowledged(), 1) << i;
        ASSERT_FALSE(alIsSource(source)) << i;
        for (ALuint b : buffers) ASSERT_FALSE(alIsBuffer(b)) << i;
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    EXPECT_EQ(test::CountThreads(), threads);
}

TEST(ModuleThroughOpenAL, ModulesAndOggFilesTakeTurns) {
    const std::vector<uint8_t> loud = test::BuildLoudModule();
    const std::vector<uint8_t> ogg = test::EncodeOggVorbis(test::MakeTones(22050, 2, 44100, {440.0}), {});
    AudioDevice audio;
    audio.BringUp();
    alGetError();
    ModuleOutput moduleOutput;
    OggPlayer oggPlayer;
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    for (int i = 0; i < 20; ++i) {
        Module module(loud);
        if (i % 2) {
            ASSERT_TRUE(StartOggPlayer(oggPlayer, ogg.data(), ogg.size()));
        } else {
            ASSERT_TRUE(moduleOutput.Start(module.player));
        }
        usleep(20 * 1000);
        moduleOutput.Stop();
        StopOggPlayer(oggPlayer);
        if (i == 1) threads = test::CountThreads();
    }
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    EXPECT_EQ(test::CountThreads(), threads);
}

}  // namespace
}  // namespace moddeck
