// The Ogg Vorbis path on any bytes: the image is opened through the memory
// callbacks and decoded block by block to its end. A damaged or made-up
// stream either plays some blocks and ends, or is refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "audio/ogg_player.h"

using namespace moddeck;

namespace {

// libogg drops every page whose checksum is wrong, so almost every mutation
// would stop at the page layer and never reach the Vorbis decoder. Each
// complete page found in the image gets its checksum recomputed first.
uint32_t OggCrc(const uint8_t* p, size_t n) {
    static uint32_t table[256];
    if (!table[1])
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t r = i << 24;
            for (int b = 0; b < 8; b++) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            table[i] = r;
        }
    uint32_t crc = 0;
    for (size_t i = 0; i < n; i++) crc = (crc << 8) ^ table[((crc >> 24) ^ p[i]) & 0xFF];
    return crc;
}

void FixPageChecksums(uint8_t* d, size_t size) {
    size_t at = 0;
    while (at + 27 <= size) {
        if (std::memcmp(d + at, "OggS", 4) != 0) {
            at++;
            continue;
        }
        const size_t segments = d[at + 26];
        if (at + 27 + segments > size) return;
        size_t body = 0;
        for (size_t s = 0; s < segments; s++) body += d[at + 27 + s];
        const size_t length = 27 + segments + body;
        if (at + length > size) return;
        std::memset(d + at + 22, 0, 4);
        const uint32_t crc = OggCrc(d + at, length);
        for (int b = 0; b < 4; b++) d[at + 22 + b] = static_cast<uint8_t>(crc >> (8 * b));
        at += length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > INT32_MAX) return 0;
    uint8_t* image = static_cast<uint8_t*>(std::malloc(size));
    if (!image) return 0;
    std::memcpy(image, data, size);
    FixPageChecksums(image, size);
    static OggPlayer ogg;
    if (OpenOggImage(ogg, image, static_cast<int32_t>(size))) {
        // A block is 100 ms; the bound only guards the fuzzer against a
        // stream that never ends, which would be a hang worth reporting.
        for (int block = 0; ogg.OGG_Status && block < 100000; block++) OGG_MixNext(ogg);
        if (ogg.OGG_Status) std::abort();
        OGG_MixNext(ogg);  // silence after the end
    }
    CloseOggStream(ogg);
    return 0;
}
