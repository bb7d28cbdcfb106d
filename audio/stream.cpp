#include <cstring>

#include "audio/ogg_player.h"

namespace moddeck {

size_t own_read_func(void* ptr, size_t size, size_t nmemb, void* datasource) {
    OggData* image = static_cast<OggData*>(datasource);
    // The product is taken in 64 bits: a huge request must not wrap into a
    // small or negative count.
    const uint64_t wanted = static_cast<uint64_t>(size) * nmemb;
    if (image->data == nullptr || image->pos < 0 || image->pos >= image->size ||
        (size != 0 && wanted / size != nmemb))
        return 0;
    const uint64_t left = static_cast<uint64_t>(image->size - image->pos);
    const size_t n = static_cast<size_t>(wanted < left ? wanted : left);
    std::memcpy(ptr, image->data + image->pos, n);
    image->pos += static_cast<int32_t>(n);
    return n;
}

int own_seek_func(void* datasource, ogg_int64_t offset, int whence) {
    OggData* image = static_cast<OggData*>(datasource);
    // An offset beyond any image is cut first so the sum cannot overflow.
    constexpr int64_t kFar = int64_t{1} << 40;
    if (offset > kFar) offset = kFar;
    if (offset < -kFar) offset = -kFar;
    int64_t pos = image->pos;
    switch (whence) {
        case SEEK_SET: pos = offset; break;
        case SEEK_CUR: pos = pos + offset; break;
        case SEEK_END: pos = static_cast<int64_t>(image->size) - offset; break;
        default: break;
    }
    if (pos < 0) pos = 0;
    if (pos > image->size) pos = image->size;
    image->pos = static_cast<int32_t>(pos);
    return 0;
}

int own_close_func(void*) { return 0; }

long own_tell_func(void* datasource) { return static_cast<OggData*>(datasource)->pos; }

}  // namespace moddeck
