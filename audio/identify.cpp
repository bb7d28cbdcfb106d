#include <cstring>

#include "audio/ogg_player.h"

namespace moddeck {

namespace {

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t n) {
    return size >= n && std::memcmp(data, magic, n) == 0;
}

}  // namespace

bool IsOggImage(const uint8_t* data, size_t size) { return StartsWith(data, size, "OggS", 4); }

OggIdentity IdentifyOgg(const uint8_t* data, size_t size) {
    OggIdentity id;
    // Page header: "OggS", version, flags, granule (8), serial, sequence,
    // checksum, segment count; then the segment table and the first packet,
    // which names the codec of the stream.
    if (size < 27 || !IsOggImage(data, size)) return id;
    const size_t at = 27 + size_t(data[26]);
    if (at >= size) return id;
    const uint8_t* packet = data + at;
    const size_t left = size - at;
    if (StartsWith(packet, left, "OpusHead", 8)) {
        id.refusal = MODDECK_OGG_OPUS;
    } else if (StartsWith(packet, left, "\x7f" "FLAC", 5) || StartsWith(packet, left, "fLaC", 4)) {
        id.refusal = MODDECK_OGG_FLAC;
    } else if (StartsWith(packet, left, "Speex   ", 8)) {
        id.refusal = MODDECK_OGG_SPEEX;
    } else if (StartsWith(packet, left, "\x80" "theora", 7)) {
        id.refusal = MODDECK_OGG_THEORA;
    } else if (left >= 16 && packet[0] == 1 && std::memcmp(packet + 1, "vorbis", 6) == 0) {
        // Identification header: type 1, "vorbis", version (4), channels (1),
        // rate (4).
        const uint8_t* p = packet + 11;
        const uint32_t rate = uint32_t(p[1]) | uint32_t(p[2]) << 8 | uint32_t(p[3]) << 16 | uint32_t(p[4]) << 24;
        if (p[0] != 0 && rate != 0 && rate <= 1000000) {
            id.refusal = MODDECK_OK;
            id.channels = p[0];
            id.rate = int32_t(rate);
        }
    }
    return id;
}

}  // namespace moddeck
