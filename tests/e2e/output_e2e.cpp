// The output loop on a real OpenAL source: three blocks queued at the
// start, one refill per played block, and after the stop acknowledgement
// no OpenAL call at all, so the source runs dry and stops by itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "e2e/capture.h"
#include "audio/output.h"

namespace moddeck {
namespace {

std::atomic<int> renders{0};
int16_t block[2 * 4410];
void CountRender(void*) { renders.fetch_add(1); }

class OutputLoopOnOpenAL : public ::testing::Test {
protected:
    void SetUp() override {
        audio.BringUp();
        ASSERT_TRUE(AudioReady());
        GenOutputSource(&source, buffers);
        ASSERT_NE(source, 0u);
        renders = 0;
    }
    void TearDown() override { DeleteOutputSource(&source, buffers); }

    ALint Get(ALenum what) {
        ALint value = -1;
        alGetSourcei(source, what, &value);
        return value;
    }
    OutputFeed Feed() { return {{CountRender, nullptr, block, sizeof block, 44100, nullptr}, &exit, &acknowledged, nullptr}; }

    AudioDevice audio;
    ALuint source = 0, buffers[kOutputBuffers] = {};
    std::atomic<uint8_t> exit{0};
    std::atomic<int32_t> acknowledged{0};
};

TEST_F(OutputLoopOnOpenAL, KeepsThreeBlocksQueuedAndStopsCallingOpenALOnceAcknowledged) {
    std::thread thread([&] { StreamOutput(source, buffers, Feed()); });
    usleep(30 * 1000);
    EXPECT_EQ(renders.load(), 3);
    EXPECT_EQ(Get(AL_BUFFERS_QUEUED), 3);
    EXPECT_EQ(Get(AL_SOURCE_STATE), AL_PLAYING);

    // One block is rendered per 100 ms played; the queue stays at three.
    usleep(1000 * 1000);
    EXPECT_GE(renders.load(), 3 + 8);
    EXPECT_LE(renders.load(), 3 + 12);
    EXPECT_EQ(Get(AL_BUFFERS_QUEUED), 3);

    acknowledged = 0;
    exit = 1;
    while (acknowledged.load() == 0) usleep(1000);
    const int rendered = renders.load();
    // Nobody refills or restarts the source any more: it plays out what it
    // holds and stops with all three buffers processed.
    usleep(500 * 1000);
    EXPECT_EQ(acknowledged.load(), 1);
    EXPECT_EQ(renders.load(), rendered);
    EXPECT_EQ(Get(AL_SOURCE_STATE), AL_STOPPED);
    EXPECT_EQ(Get(AL_BUFFERS_PROCESSED), 3);
    thread.join();
    EXPECT_EQ(acknowledged.load(), 1);
}

TEST_F(OutputLoopOnOpenAL, AStopRequestedBeforeTheStartEndsRightAfterTheFirstThreeBlocks) {
    exit = 1;
    StreamOutput(source, buffers, Feed());
    EXPECT_EQ(acknowledged.load(), 1);
    EXPECT_EQ(renders.load(), 3);
    EXPECT_EQ(Get(AL_BUFFERS_QUEUED), 3);
    usleep(500 * 1000);
    EXPECT_EQ(Get(AL_SOURCE_STATE), AL_STOPPED);
    EXPECT_EQ(renders.load(), 3);
}

}  // namespace
}  // namespace moddeck
