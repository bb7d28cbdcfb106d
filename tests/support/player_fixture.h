// A test's own player, and the loader entry over bytes: the fixture of the
// loader and engine tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/module_start.h"
#include "engine/player.h"
#include "loaders/loaders.h"

namespace moddeck::test {

class PlayerTest : public ::testing::Test {
protected:
    // Releases the songs loaded before, then loads `bytes` through the
    // loader entry: the song, or null when it was refused.
    Mod* Load(const std::vector<uint8_t>& bytes) {
        StopModule(player);
        FreeSongList(player);
        return AddMusic(player, bytes.data(), bytes.size()) ? player.SONG : nullptr;
    }

    Player player;
};

}  // namespace moddeck::test
