// Keys and the song position: a module from the first part of the input,
// then the rest as a key sequence interleaved with rendering. Each byte is
// recorded as a key and the event loop's turn applied; every fourth byte a
// block is rendered. The position must stay inside the order table.
//   input: length L (2 bytes, little-endian), L bytes of module, keys
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/keys.h"
#include "app/open_file.h"
#include "engine/module_start.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "loaders/loaders.h"

using namespace moddeck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t length = data[0] | size_t{data[1]} << 8;
    if (length > size - 2) length = size - 2;
    Player& player = ProcessPlayer();
    if (AddMusic(player, data + 2, length)) {
        StartModule(player);
        openedFile.status = OpenStatus::ModulePlaying;
        const int32_t orders = PlayedOrders(*player.SONG);
        for (size_t i = 2 + length; i < size; i++) {
            RecordKey(data[i]);
            ApplyKeys();
            if (i % 4 == 0) MixNext(player);
            const int32_t position = player.pattern.load();
            if (position < 0 || position >= orders) std::abort();
        }
        openedFile = OpenedFile{};
        keyDown = 0;
    }
    FreeSongList(player);
    return 0;
}
