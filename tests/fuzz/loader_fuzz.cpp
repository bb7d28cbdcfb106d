// The loader entry on any bytes: each of the three module formats, cut,
// corrupted or made up, either loads into a bounded song or is refused.
#include <cstddef>
#include <cstdint>

#include "loaders/loaders.h"
#include "song/reader.h"

using namespace moddeck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    UseModuleImage(data, size);
    AddMusic();
    FreeSongList();
    return 0;
}
