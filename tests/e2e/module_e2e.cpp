// Modules through the real OpenAL Soft: the device plays exactly the offline
// render of the song, and modules opened one after the other leave no
// source, buffer or thread behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "e2e/capture.h"
#include "engine/module_start.h"
#include "engine/output.h"
#include "engine/sequencer.h"
#include "engine/player.h"
#include "loaders/loaders.h"
#include "ogg/ogg_player.h"
#include "support/loud_module.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

// Opens the module the way the application does.
void LoadModule(const std::string& path) {
    FreeSongList();
    ASSERT_TRUE(AddMusic(path.c_str()));
    StartModule();
}

std::string WriteLoudModule() {
    const std::string path = test::WorkDir() + "/loud.xm";
    EXPECT_TRUE(test::WriteBytes(path, test::BuildLoudModule()));
    return path;
}

TEST(ModuleThroughOpenAL, TheDevicePlaysTheOfflineRender) {
    const std::string path = WriteLoudModule();
    AudioBringUp();
    ASSERT_NE(ProcessAudioDevice().device, nullptr);
    LoadModule(path);
    StartModulePlayer();
    ASSERT_EQ(ProcessModuleOutput().TAG_SONGPLAYER, 1);
    usleep(1300 * 1000);
    StopModulePlayer();
    EXPECT_EQ(ProcessModuleOutput().TAG_SONGPLAYER, 0);
    EXPECT_EQ(ProcessPlayer().PLAYER_ON.load(), 0);
    EXPECT_EQ(ProcessPlayer().Liste_mods_nm, 0);
    AudioShutDown();

    // The same song rendered offline, as moddeck-render does.
    LoadModule(path);
    ProcessPlayer().PLAYER_PARAMS = 1;
    ProcessPlayer().VOLUMEOP = 1;
    std::vector<int16_t> render;
    for (int block = 0; block < 10; ++block) {
        MixNext(ProcessPlayer());
        render.insert(render.end(), ProcessPlayer().ActualBufferToBeMixed, ProcessPlayer().ActualBufferToBeMixed + kBlockSamples);
    }
    StopModule(ProcessPlayer());
    FreeSongList(ProcessPlayer());

    const auto captured = test::ReadWaveSamples(test::CapturePath());
    const long start = test::FirstLoudFrame(captured) - test::FirstLoudFrame(render);
    ASSERT_GE(start, 0);
    EXPECT_LE(test::MaxDifference(captured, start, render), 1);
}

TEST(ModuleThroughOpenAL, TwoHundredModulesInARowLeaveNoSourceBufferOrThreadBehind) {
    const std::string path = WriteLoudModule();
    AudioBringUp();
    ASSERT_TRUE(AudioReady());
    alGetError();
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    for (int i = 0; i < 200; ++i) {
        LoadModule(path);
        StartModulePlayer();
        ASSERT_EQ(ProcessModuleOutput().TAG_SONGPLAYER, 1) << i;
        const ALuint source = ProcessModuleOutput().source_secondary;
        ALuint buffers[3];
        for (int b = 0; b < 3; ++b) buffers[b] = ProcessModuleOutput().buffer_secondary[b];
        ASSERT_TRUE(alIsSource(source)) << i;
        StopModulePlayer();
        ASSERT_EQ(ProcessPlayer().TERMINATED.load(), 1) << i;
        ASSERT_FALSE(alIsSource(source)) << i;
        for (ALuint b : buffers) ASSERT_FALSE(alIsBuffer(b)) << i;
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    EXPECT_EQ(test::CountThreads(), threads);
}

TEST(ModuleThroughOpenAL, ModulesAndOggFilesTakeTurns) {
    const std::string module = WriteLoudModule();
    const std::string ogg = test::WorkDir() + "/turn.ogg";
    ASSERT_TRUE(test::WriteBytes(ogg, test::EncodeOggVorbis(test::MakeTones(22050, 2, 44100, {440.0}), {})));
    AudioBringUp();
    alGetError();
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    for (int i = 0; i < 20; ++i) {
        StopModulePlayer();
        StopOggPlayer();
        if (i % 2) {
            ASSERT_TRUE(StartOggPlayer(ogg.c_str()));
        } else {
            LoadModule(module);
            StartModulePlayer();
            ASSERT_EQ(ProcessModuleOutput().TAG_SONGPLAYER, 1);
        }
        usleep(20 * 1000);
        if (i == 1) {
            StopModulePlayer();
            StopOggPlayer();
            threads = test::CountThreads();
        }
    }
    StopModulePlayer();
    StopOggPlayer();
    EXPECT_EQ(alGetError(), AL_NO_ERROR);
    EXPECT_EQ(test::CountThreads(), threads);
}

}  // namespace
}  // namespace moddeck
