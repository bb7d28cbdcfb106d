// Keys pressed while the module renders on another thread: the renderer
// steps the position as the song plays, the main thread moves it with "+"
// and "-"; the position stays inside the order table and the two never
// race (the ThreadSanitizer build runs this case).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/keys.h"
#include "app/open_file.h"
#include "engine/module_start.h"
#include "engine/sequencer.h"
#include "engine/state.h"
#include "loaders/loaders.h"
#include "song/reader.h"
#include "support/xm_builder.h"

namespace moddeck {
namespace {

TEST(KeyMovesWhileRendering, ThePositionStaysInTheSongAndEveryKeyIsTaken) {
    // Four orders of a one-row pattern at speed 1: the renderer itself moves
    // the position every tick, as fast as a song can.
    test::XMSpec desc;
    desc.speed = 1;
    desc.songLength = 4;
    desc.orders = {0, 0, 0, 0};
    desc.patterns.push_back({1, {0x80, 0x80, 0x80, 0x80}});
    const std::vector<uint8_t> bytes = test::BuildXM(desc);
    FreeSongList();
    UseModuleImage(bytes.data(), bytes.size());
    ASSERT_TRUE(AddMusic());
    StartModule();
    openedFile = OpenedFile{};
    openedFile.status = OpenStatus::ModulePlaying;
    openedFile.songLength = SONG->songLength;

    std::atomic<bool> stop{false};
    std::atomic<int32_t> outside{0};
    std::atomic<int32_t> blocks{0};
    std::thread renderer([&] {
        while (!stop.load()) {
            MixNext();
            blocks.fetch_add(1);
            const int32_t p = pattern.load();
            if (p < 0 || p >= 4) outside.fetch_add(1);
        }
    });
    // Presses go on until the renderer has made 50 blocks meanwhile.
    for (int i = 0; i < 5000 || blocks.load() < 50; i++) {
        RecordKey(i % 3 ? '+' : '-');
        ApplyKeys();
        EXPECT_EQ(keyDown, 0u);
        const int32_t p = pattern.load();
        ASSERT_GE(p, 0);
        ASSERT_LT(p, 4);
    }
    stop.store(true);
    renderer.join();
    EXPECT_EQ(outside.load(), 0);
    openedFile = OpenedFile{};
    StopModule();
    FreeSongList();
    UseModuleFile();
}

}  // namespace
}  // namespace moddeck
