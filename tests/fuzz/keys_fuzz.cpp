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
#include "engine/sequencer.h"
#include "engine/state.h"
#include "loaders/loaders.h"
#include "song/reader.h"

using namespace moddeck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t length = data[0] | size_t{data[1]} << 8;
    if (length > size - 2) length = size - 2;
    UseModuleImage(data + 2, length);
    Liste_mods_nm = Liste_mods_n = 0;
    if (AddMusic()) {
        StartModule();
        openedFile.status = OpenStatus::ModulePlaying;
        openedFile.songLength = SONG->songLength;
        for (size_t i = 2 + length; i < size; i++) {
            RecordKey(data[i]);
            ApplyKeys();
            const int32_t position = pattern.load();
            if (SONG->songLength > 0 && (position < 0 || position >= SONG->songLength)) std::abort();
            if (i % 4 == 0) MixNext();
        }
        openedFile = OpenedFile{};
        keyDown = 0;
    }
    FreeSongList();
    return 0;
}
