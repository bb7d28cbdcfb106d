// A machine without any audio device: the only OpenAL driver configured
// cannot open. The bring-up fails silently and the players run without
// sound, starting and stopping as usual.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "e2e/capture.h"
#include "engine/module_start.h"
#include "engine/output.h"
#include "engine/player.h"
#include "loaders/loaders.h"
#include "ogg/ogg_player.h"
#include "support/loud_module.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

TEST(NoAudioDevice, TheBringUpFailsSilentlyOnceAndForAll) {
    AudioBringUp();
    EXPECT_EQ(ProcessAudioDevice().TAG_SOUND, 1);
    EXPECT_EQ(ProcessAudioDevice().device, nullptr);
    EXPECT_EQ(ProcessAudioDevice().context, nullptr);
    EXPECT_FALSE(AudioReady());
    AudioBringUp();  // not tried again
    EXPECT_EQ(ProcessAudioDevice().device, nullptr);
}

TEST(NoAudioDevice, OggFilesPlaySilentlyAndStopCleanly) {
    const std::string path = test::WorkDir() + "/tune.ogg";
    ASSERT_TRUE(test::WriteBytes(path, test::EncodeOggVorbis(test::MakeTones(44100, 2, 44100, {440.0}), {})));
    AudioBringUp();
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(StartOggPlayer(path.c_str())) << i;
        EXPECT_EQ(ProcessOggPlayer().source_ogg, 0u);
        if (i == 0) usleep(50 * 1000);  // let the first one run a while
        StopOggPlayer();
        ASSERT_EQ(ProcessOggPlayer().OGGTERMINATED.load(), 1) << i;
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
        ASSERT_TRUE(AddMusic(path.c_str()));
        StartModule(ProcessPlayer());
        StartModulePlayer();
        ASSERT_EQ(ProcessModuleOutput().TAG_SONGPLAYER, 1) << i;
        EXPECT_EQ(ProcessModuleOutput().source_secondary, 0u);
        StopModulePlayer();
        ASSERT_EQ(ProcessPlayer().TERMINATED.load(), 1) << i;
        ASSERT_EQ(ProcessPlayer().Liste_mods_nm, 0);
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(test::CountThreads(), threads);
}

TEST(NoAudioDevice, WithoutAStartedSongNoModuleThreadStarts) {
    StopModulePlayer();
    ASSERT_EQ(ProcessPlayer().PLAYER_ON.load(), 0);
    StartModulePlayer();
    EXPECT_EQ(ProcessModuleOutput().TAG_SONGPLAYER, 0);
}

}  // namespace
}  // namespace moddeck
