// The output loop's handshake, on a thread with no audio device: the loop
// renders its three first blocks, then only waits, and acknowledges a stop
// exactly once. The module output streams a player's blocks through it.
// The same loop on a real OpenAL source is tested end to end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "audio/module_output.h"
#include "support/loud_module.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

std::atomic<int> renders{0};
int16_t block[8];
void CountRender(void*) { renders.fetch_add(1); }

struct Loop {
    std::atomic<uint8_t> exit{0};
    std::atomic<int32_t> acknowledged{0};
    OutputFeed Feed() { return {{CountRender, nullptr, block, sizeof block, 44100, nullptr}, &exit, &acknowledged, nullptr}; }
};

TEST(OutputLoop, WithoutAudioRendersTheFirstThreeBlocksAndAcknowledgesOnce) {
    ASSERT_FALSE(AudioReady());  // the unit tests never bring audio up
    renders = 0;
    Loop loop;
    const ALuint buffers[kOutputBuffers] = {};
    std::thread thread([&] { StreamOutput(0, buffers, loop.Feed()); });
    usleep(20000);
    EXPECT_EQ(renders.load(), 3);
    EXPECT_EQ(loop.acknowledged.load(), 0);
    loop.exit = 1;
    thread.join();
    EXPECT_EQ(loop.acknowledged.load(), 1);
    EXPECT_EQ(renders.load(), 3);
}

TEST(OutputLoop, AStopAlreadyRequestedEndsTheLoopRightAfterTheFirstBlocks) {
    renders = 0;
    Loop loop;
    loop.exit = 1;
    const ALuint buffers[kOutputBuffers] = {};
    StreamOutput(0, buffers, loop.Feed());
    EXPECT_EQ(renders.load(), 3);
    EXPECT_EQ(loop.acknowledged.load(), 1);
}

TEST(OutputLoop, SourcesAreNotMadeWithoutAudio) {
    ALuint source = 77, buffers[kOutputBuffers] = {5, 6, 7};
    GenOutputSource(&source, buffers);
    EXPECT_EQ(source, 0u);
    EXPECT_EQ(buffers[0] | buffers[1] | buffers[2], 0u);
    DeleteOutputSource(&source, buffers);  // nothing to delete, no call made
    EXPECT_EQ(source, 0u);
}

// The module output renders the player it is given, 4,410 frames a block,
// and leaves it to its owner: stopped, the player is where three blocks
// put it and can be started again.
TEST(ModuleOutput, StreamsItsPlayerAndStopsWithoutLeakingThreads) {
    const std::vector<uint8_t> module = test::BuildLoudModule();
    moddeck_song* song = moddeck_song_load(module.data(), module.size(), nullptr);
    ASSERT_NE(song, nullptr);
    moddeck_player* player = moddeck_player_new(song, kModuleRate);
    ModuleOutput output;
    int threads = -1;  // counted after the first start: runtimes start helpers lazily
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(output.Start(player)) << i;
        ASSERT_TRUE(output.running());
        output.Stop();
        ASSERT_EQ(output.thread().acknowledged(), 1) << i;
        ASSERT_FALSE(output.running());
        if (i > 0) continue;
        threads = test::CountThreads();
        moddeck_position position;
        moddeck_player_position(player, &position);
        EXPECT_NEAR(position.seconds, 0.3, 1e-9) << "three blocks of 100 ms";
    }
    EXPECT_EQ(test::CountThreads(), threads);
    EXPECT_FALSE(output.Start(nullptr));
    moddeck_player_free(player);
    moddeck_song_free(song);
}

}  // namespace
}  // namespace moddeck
