// The loader entry on any bytes, then 20 blocks of the song: each of the
// three module formats, cut, corrupted or made up, either loads into a
// bounded song that renders or is refused.
#include <cstddef>
#include <cstdint>

#include "engine/module_start.h"
#include "engine/sequencer.h"
#include "engine/state.h"
#include "loaders/loaders.h"
#include "song/reader.h"

using namespace moddeck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseModuleImage(data, size);
    Liste_mods_nm = Liste_mods_n = 0;
    if (AddMusic()) {
        StartModule();
        for (int block = 0; block < 20; block++) MixNext();
    }
    FreeSongList();
    return 0;
}
