// A machine without any audio device: the only OpenAL driver configured
// cannot open. The bring-up fails silently and the players run without
// sound, starting and stopping as usual.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "e2e/capture.h"
#include "engine/module_start.h"
#include "engine/output.h"
#include "engine/periods.h"
#include "engine/state.h"
#include "loaders/loaders.h"
#include "ogg/ogg.h"
#include "song/reader.h"
#include "support/loud_module.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

TEST(NoAudioDevice, TheBringUpFailsSilentlyOnceAndForAll) {
    AudioBringUp();
    EXPECT_EQ(TAG_SOUND, 1);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(context, nullptr);
    EXPECT_FALSE(AudioReady());
    AudioBringUp();  // not tried again
    EXPECT_EQ(device, nullptr);
}

TEST(NoAudioDevice, OggFilesPlaySilentlyAndStopCleanly) {
    const std::string path = test::WorkDir() + "/tune.ogg";
    ASSERT_TRUE(test::WriteBytes(path, test::EncodeOggVorbis(test::MakeTones(44100, 2, 44100, {440.0}), {})));
    std::snprintf(fname_tmp, sizeof fname_tmp, "%s", path.c_str());
    AudioBringUp();
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(StartOggPlayer()) << i;
        EXPECT_EQ(source_ogg, 0u);
        if (i == 0) usleep(50 * 1000);  // let the first one run a while
        StopOggPlayer();
        ASSERT_EQ(OGGTERMINATED.load(), 1) << i;
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(test::CountThreads(), threads);
}


TEST(NoAudioDevice, ModulesPlaySilentlyAndStopCleanly) {
    const std::string path = test::WorkDir() + "/loud.xm";
    ASSERT_TRUE(test::WriteBytes(path, test::BuildLoudModule()));
    AudioBringUp();
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    for (int i = 0; i < 200; ++i) {
        std::snprintf(fname_tmp, sizeof fname_tmp, "%s", path.c_str());
        Liste_mods_nm = 0;
        Liste_mods_n = 0;
        CalculesPeriodes();
        ASSERT_TRUE(AddMusic());
        StartModule();
        StartModulePlayer();
        ASSERT_EQ(TAG_SONGPLAYER, 1) << i;
        EXPECT_EQ(source_secondary, 0u);
        StopModulePlayer();
        ASSERT_EQ(TERMINATED.load(), 1) << i;
        ASSERT_EQ(Liste_mods_nm, 0);
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(test::CountThreads(), threads);
}

TEST(NoAudioDevice, WithoutAStartedSongNoModuleThreadStarts) {
    StopModulePlayer();
    ASSERT_EQ(PLAYER_ON.load(), 0);
    StartModulePlayer();
    EXPECT_EQ(TAG_SONGPLAYER, 0);
}

}  // namespace
}  // namespace moddeck
