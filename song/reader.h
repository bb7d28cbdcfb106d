// The loaders' byte reader over a block of memory: a module file is read
// whole, then parsed from its bytes.
//
// Every read is bounded by the size of the block: bytes past the end are
// delivered as zeros and the call tells how many it really got, so a cut or
// lying file can never make a loader read out of bounds or keep stale values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace moddeck {

struct SNDMyFILE {
    const uint8_t* data;  // not owned; must outlive the reader
    int64_t pos;          // offset of the next byte
    int64_t size;         // bytes in the block
    // How far the file says it goes: the furthest byte read, skipped or
    // declared (a sample's length), even past `size`: a cut file shows it.
    int64_t reach;
    int64_t patternsEnd;  // the reach of the patterns alone, set by the loader
};

inline SNDMyFILE OpenMemoryReader(const uint8_t* data, size_t size) {
    return SNDMyFILE{data, 0, static_cast<int64_t>(size), 0, 0};
}

// Copies the next n bytes into dst and returns how many came from the
// block; the rest of dst is zero-filled. The position advances by n.
size_t ReaderRead(SNDMyFILE* r, void* dst, size_t n);
// Moves the position forward by n bytes (nothing for n <= 0).
void ReaderSkip(SNDMyFILE* r, int64_t n);
// Sets the position to an absolute offset (clamped to 0).
void ReaderSeek(SNDMyFILE* r, int64_t offset);
// Records that the file declares bytes up to `end` (exclusive).
void ReaderDeclare(SNDMyFILE* r, int64_t end);
// Bytes between the position and the end of the block (0 past the end).
int64_t ReaderRemaining(const SNDMyFILE* r);

// Little-endian values; zeros past the end of the block.
uint8_t ReadU8(SNDMyFILE* r);
uint16_t ReadU16(SNDMyFILE* r);
uint32_t ReadU32(SNDMyFILE* r);

}  // namespace moddeck
