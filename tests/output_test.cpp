// The output loop's handshake, on a thread with no audio device: the loop
// renders its three first blocks, then only waits, and acknowledges a stop
// exactly once. The same loop on a real OpenAL source is tested end to end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "engine/output.h"

namespace moddeck {
namespace {

std::atomic<int> renders{0};
int16_t block[8];
void CountRender(void*) { renders.fetch_add(1); }

struct Loop {
    std::atomic<uint8_t> exit{0};
    std::atomic<int32_t> acknowledged{0};
    OutputFeed Feed() { return {CountRender, nullptr, block, sizeof block, 44100, &exit, &acknowledged, nullptr, nullptr}; }
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

}  // namespace
}  // namespace moddeck
