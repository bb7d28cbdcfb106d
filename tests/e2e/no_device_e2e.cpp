// A machine without any audio device: the only OpenAL driver configured
// cannot open. The bring-up fails silently and the players run without
// sound, starting and stopping as usual.
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

TEST(NoAudioDevice, TheBringUpFailsSilentlyOnceAndForAll) {
    AudioDevice audio;
    audio.BringUp();
    EXPECT_TRUE(audio.broughtUp());
    EXPECT_EQ(audio.device(), nullptr);
    EXPECT_EQ(audio.context(), nullptr);
    EXPECT_STREQ(audio.failure(), "the default OpenAL device cannot be opened");
    EXPECT_FALSE(AudioReady());
    audio.BringUp();  // not tried again
    EXPECT_EQ(audio.device(), nullptr);
}

// Ogg files and modules start, play silently and stop cleanly, again and again.
TEST(NoAudioDevice, FilesPlaySilentlyAndStopCleanly) {
    const auto ogg = test::EncodeOggVorbis(test::MakeTones(44100, 2, 44100, {440.0}), {});
    const std::vector<uint8_t> loud = test::BuildLoudModule();
    AudioDevice audio;
    audio.BringUp();
    OggPlayer oggPlayer;
    ModuleOutput output;
    int threads = -1;  // counted after the first files: runtimes start helpers lazily
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(StartOggPlayer(oggPlayer, ogg.data(), ogg.size())) << i;
        EXPECT_EQ(oggPlayer.output.source(), 0u);
        if (i == 0) usleep(50 * 1000);  // let the first one run a while
        StopOggPlayer(oggPlayer);
        ASSERT_EQ(oggPlayer.output.acknowledged(), 1) << i;

        moddeck_song* song = moddeck_song_load(loud.data(), loud.size(), nullptr);
        moddeck_player* player = moddeck_player_new(song, kModuleRate);
        ASSERT_TRUE(output.Start(player)) << i;
        EXPECT_EQ(output.thread().source(), 0u);
        output.Stop();
        ASSERT_EQ(output.thread().acknowledged(), 1) << i;
        moddeck_player_free(player);
        moddeck_song_free(song);
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(test::CountThreads(), threads);
}

}  // namespace
}  // namespace moddeck
