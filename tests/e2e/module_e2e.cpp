// Modules through the real OpenAL Soft: the device plays exactly the offline
// render of the song, and modules opened one after the other leave no
// source, buffer or thread behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "e2e/capture.h"
#include "engine/module_start.h"
#include "engine/output.h"
#include "engine/periods.h"
#include "engine/sequencer.h"
#include "engine/state.h"
#include "loaders/loaders.h"
#include "ogg/ogg.h"
#include "song/reader.h"
#include "support/loud_module.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

// Opens the module the way the application does.
void LoadModule(const std::string& path) {
    std::snprintf(fname_tmp, sizeof fname_tmp, "%s", path.c_str());
    Liste_mods_nm = 0;
    Liste_mods_n = 0;
    CalculesPeriodes();
    ASSERT_TRUE(AddMusic());
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
    ASSERT_NE(device, nullptr);
    LoadModule(path);
    StartModulePlayer();
    ASSERT_EQ(TAG_SONGPLAYER, 1);
    usleep(1300 * 1000);
    StopModulePlayer();
    EXPECT_EQ(TAG_SONGPLAYER, 0);
    EXPECT_EQ(PLAYER_ON.load(), 0);
    EXPECT_EQ(Liste_mods_nm, 0);
    test::CloseAudio();

    // The same song rendered offline, as moddeck-render does.
    LoadModule(path);
    PLAYER_PARAMS = 1;
    VOLUMEOP = 1;
    std::vector<int16_t> render;
    for (int block = 0; block < 10; ++block) {
        MixNext();
        render.insert(render.end(), ActualBufferToBeMixed, ActualBufferToBeMixed + kBlockSamples);
    }
    StopModule();
    FreeSongList();

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
        ASSERT_EQ(TAG_SONGPLAYER, 1) << i;
        const ALuint source = source_secondary;
        ALuint buffers[3];
        for (int b = 0; b < 3; ++b) buffers[b] = buffer_secondary[b];
        ASSERT_TRUE(alIsSource(source)) << i;
        StopModulePlayer();
        ASSERT_EQ(TERMINATED.load(), 1) << i;
        ASSERT_FALSE(alIsSource(source)) << i;
        for (ALuint b : buffers) ASSERT_FALSE(alIsBuffer(b)) << i;
        ASSERT_EQ(Saturation, nullptr);
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
            std::snprintf(fname_tmp, sizeof fname_tmp, "%s", ogg.c_str());
            ASSERT_TRUE(StartOggPlayer());
        } else {
            LoadModule(module);
            StartModulePlayer();
            ASSERT_EQ(TAG_SONGPLAYER, 1);
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
