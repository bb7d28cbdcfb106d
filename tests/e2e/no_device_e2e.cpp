// A machine without any audio device: the only OpenAL driver configured
// cannot open. The bring-up fails silently and the players run without
// sound, starting and stopping as usual.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "e2e/capture.h"
#include "engine/output.h"
#include "ogg/ogg.h"
#include "song/reader.h"
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

}  // namespace
}  // namespace moddeck
