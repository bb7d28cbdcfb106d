// A test's own player over a song, and the loader entry over bytes: the
// fixture of the loader and engine tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "engine/player.h"
#include "loaders/loaders.h"
#include "support/song_builder.h"

namespace moddeck::test {

class PlayerTest : public ::testing::Test {
protected:
    ~PlayerTest() override {
        player.reset();
        FreeModSong(loaded_);
    }

    // Loads `bytes` through the loader entry in place of the song loaded
    // before, with a started player over it: the song, or null (no player,
    // the reason in *why when given) when it was refused.
    const Mod* Load(const std::vector<uint8_t>& bytes, Refusal* why = nullptr) {
        player.reset();
        FreeModSong(loaded_);
        loaded_ = LoadSong(bytes.data(), bytes.size(), why);
        if (loaded_) player = StartPlayer(*loaded_);
        return loaded_;
    }

    // Loads bytes the loader entry must take: the song (a refusal fails the
    // test there).
    const Mod& Taken(const std::vector<uint8_t>& bytes) {
        Refusal why = Refusal::None;
        if (!Load(bytes, &why)) {
            ADD_FAILURE() << "refused: " << static_cast<int>(why);
            throw std::runtime_error("refused");
        }
        return *loaded_;
    }

    // Why the loader entry refuses `bytes` (None when it takes them).
    Refusal Refused(const std::vector<uint8_t>& bytes) {
        Refusal why = Refusal::None;
        return Load(bytes, &why) ? Refusal::None : why;
    }

    // A started player over `song` in place of the one before.
    void PlaySong(const Mod& song) { player = StartPlayer(song); }

    std::unique_ptr<Player> player;

private:
    Mod* loaded_ = nullptr;
};

}  // namespace moddeck::test
