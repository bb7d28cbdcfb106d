// The loader entry on any bytes, then 20 blocks of the song: each of the
// three module formats, cut, corrupted or made up, either loads into a
// bounded song that renders or is refused.
#include <cstddef>
#include <cstdint>

#include "engine/module_start.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "loaders/loaders.h"

using namespace moddeck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One player for every input, as the application has one.
    static Player player;
    if (AddMusic(player, data, size)) {
        StartModule(player);
        for (int block = 0; block < 20; block++) MixNext(player);
    }
    FreeSongList(player);
    return 0;
}
