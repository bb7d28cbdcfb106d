// Order steps asked for while the song renders on another thread, as the
// library's moddeck_player_step_order asks for them: the main thread adds
// "+1" and "-1" steps while the renderer plays; every step is taken, the
// position stays inside the order table and the two never race (the
// ThreadSanitizer build runs this case).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/replay.h"
#include "support/player_fixture.h"
#include "support/xm_builder.h"

namespace moddeck {
namespace {

using KeyMovesWhileRendering = test::PlayerTest;

TEST_F(KeyMovesWhileRendering, EveryPressIsTakenAndThePositionStaysInTheSong) {
    // 128 one-row patterns at speed 1, each jumping to its own order entry:
    // the renderer ends a row every tick yet stays where the keys put it.
    test::XMSpec desc;
    desc.speed = 1;
    desc.channels = 1;
    desc.songLength = 128;
    desc.orders.clear();
    for (int i = 0; i < 128; i++) {
        desc.orders.push_back(static_cast<uint8_t>(i));
        desc.patterns.push_back({1, {0x98, 0x0B, static_cast<uint8_t>(i)}});
    }
    ASSERT_NE(Load(test::BuildXM(desc)), nullptr);
    Player& rendered = *player;

    std::atomic<bool> stop{false};
    std::atomic<int32_t> outside{0};
    std::atomic<int32_t> blocks{0};
    std::thread renderer([&] {
        std::vector<int16_t> out(2 * test::kBlockFrames);
        while (!stop.load()) {
            MixNext(rendered, out.data(), test::kBlockFrames);
            blocks.fetch_add(1);
            const int32_t p = rendered.published.order.load();
            if (p < 0 || p >= 128) outside.fetch_add(1);
        }
    });
    auto pressAndSettle = [&](int32_t step, int times) {
        for (int i = 0; i < times; i++) {
            rendered.orderSteps.fetch_add(step);
            std::this_thread::yield();
        }
        // Taken at the start of a tick, published at the end of the render:
        // a whole block later the position holds every step.
        while (rendered.orderSteps.load() != 0) std::this_thread::yield();
        for (const int32_t seen = blocks.load(); blocks.load() < seen + 2;) std::this_thread::yield();
    };
    pressAndSettle(+1, 100);
    const int32_t afterPlus = rendered.published.order.load();
    pressAndSettle(-1, 30);
    const int32_t afterMinus = rendered.published.order.load();
    pressAndSettle(-1, 200);  // stops at the first entry rather than wrap
    stop.store(true);
    renderer.join();
    EXPECT_EQ(afterPlus, 100);
    EXPECT_EQ(afterMinus, 70);
    EXPECT_EQ(rendered.published.order.load(), 0);
    EXPECT_EQ(outside.load(), 0);
}

}  // namespace
}  // namespace moddeck
