#include "song/reader.h"

#include <cstring>

namespace moddeck {

size_t ReaderRead(SNDMyFILE* r, void* dst, size_t n) {
    if (n == 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(dst);
    int64_t left = ReaderRemaining(r);
    size_t got = static_cast<int64_t>(n) < left ? n : static_cast<size_t>(left);
    if (got > 0) std::memcpy(out, r->data + r->pos, got);
    if (got < n) std::memset(out + got, 0, n - got);
    r->pos += static_cast<int64_t>(n);
    ReaderDeclare(r, r->pos);
    return got;
}

void ReaderSkip(SNDMyFILE* r, int64_t n) {
    if (n > 0) r->pos += n;
    ReaderDeclare(r, r->pos);
}

void ReaderDeclare(SNDMyFILE* r, int64_t end) {
    if (end > r->reach) r->reach = end;
}

void ReaderSeek(SNDMyFILE* r, int64_t offset) {
    r->pos = offset < 0 ? 0 : offset;
}

int64_t ReaderRemaining(const SNDMyFILE* r) {
    return r->pos < r->size ? r->size - r->pos : 0;
}

uint8_t ReadU8(SNDMyFILE* r) {
    uint8_t b = 0;
    ReaderRead(r, &b, 1);
    return b;
}

uint16_t ReadU16(SNDMyFILE* r) {
    uint8_t b[2];
    ReaderRead(r, b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t ReadU32(SNDMyFILE* r) {
    uint8_t b[4];
    ReaderRead(r, b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace moddeck
