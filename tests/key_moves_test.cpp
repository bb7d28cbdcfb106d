// Keys pressed while the module renders on another thread: the main thread
// asks for order steps with "+" and "-" while the renderer plays; every
// press is taken, the position stays inside the order table and the two
// never race (the ThreadSanitizer build runs this case).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/keys.h"
#include "app/open_file.h"
#include "engine/module_start.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "loaders/loaders.h"
#include "support/xm_builder.h"

namespace moddeck {
namespace {

TEST(KeyMovesWhileRendering, EveryPressIsTakenAndThePositionStaysInTheSong) {
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
    const std::vector<uint8_t> bytes = test::BuildXM(desc);
    Player& player = ProcessPlayer();
    FreeSongList(player);
    ASSERT_TRUE(AddMusic(player, bytes.data(), bytes.size()));
    StartModule(player);
    openedFile = OpenedFile{};
    openedFile.status = OpenStatus::ModulePlaying;

    std::atomic<bool> stop{false};
    std::atomic<int32_t> outside{0};
    std::atomic<int32_t> blocks{0};
    std::thread renderer([&] {
        while (!stop.load()) {
            MixNext(player);
            blocks.fetch_add(1);
            const int32_t p = player.pattern.load();
            if (p < 0 || p >= 128) outside.fetch_add(1);
        }
    });
    auto pressAndSettle = [&](uint32_t key, int times) {
        for (int i = 0; i < times; i++) {
            RecordKey(key);
            ApplyKeys();
            EXPECT_EQ(keyDown, 0u);
            std::this_thread::yield();
        }
        // Taken at the start of a tick, stored at its end: a whole block later
        // the position holds every step.
        while (player.orderSteps.load() != 0) std::this_thread::yield();
        for (const int32_t seen = blocks.load(); blocks.load() < seen + 2;) std::this_thread::yield();
    };
    pressAndSettle('+', 100);
    const int32_t afterPlus = player.pattern.load();
    pressAndSettle('-', 30);
    const int32_t afterMinus = player.pattern.load();
    pressAndSettle('-', 200);  // stops at the first entry rather than wrap
    stop.store(true);
    renderer.join();
    EXPECT_EQ(afterPlus, 100);
    EXPECT_EQ(afterMinus, 70);
    EXPECT_EQ(player.pattern.load(), 0);
    EXPECT_EQ(outside.load(), 0);
    openedFile = OpenedFile{};
    StopModule(player);
    FreeSongList(player);
}

}  // namespace
}  // namespace moddeck
