// The loaders' byte reader, over a file or a memory block alike.
//
// Every read is bounded by the size of the source: bytes past the end are
// delivered as zeros and the call tells how many it really got, so a cut or
// lying file can never make a loader read out of bounds or keep stale values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace moddeck {

// Path of the file being opened, NUL-terminated. The shell writes it; every
// loader opens the file by this name.
constexpr size_t kPathSize = 4096;
extern char fname_tmp[kPathSize];

struct SNDMyFILE {
    FILE* file;           // owned; null for a memory reader
    const uint8_t* data;  // served when file is null; not owned
    int64_t pos;          // offset of the next byte
    int64_t size;         // bytes in the source
    int64_t filePos;      // where the file itself stands (reads after a skip seek first)
};

// Opens `path` for binary reading. Returns null when it cannot be opened
// (missing, unreadable, a directory).
SNDMyFILE* OpenReader(const char* path);

// A reader over `size` bytes at `data`; the block must outlive the reader.
SNDMyFILE* OpenMemoryReader(const uint8_t* data, size_t size);

// Where the loaders take their bytes from: the file named by fname_tmp, or a
// memory image while one is set (tests, fuzzing, rendering from memory).
void UseModuleImage(const uint8_t* data, size_t size);
void UseModuleFile();
// Opens a reader on the current module source; null when it cannot be opened.
SNDMyFILE* OpenModuleReader();

// Copies the next n bytes into dst and returns how many came from the
// source; the rest of dst is zero-filled. The position advances by n.
size_t ReaderRead(SNDMyFILE* r, void* dst, size_t n);
// Moves the position forward by n bytes (nothing for n <= 0).
void ReaderSkip(SNDMyFILE* r, int64_t n);
// Sets the position to an absolute offset (clamped to 0).
void ReaderSeek(SNDMyFILE* r, int64_t offset);
// Bytes between the position and the end of the source (0 past the end).
int64_t ReaderRemaining(const SNDMyFILE* r);
// Closes the file, if any, and destroys the reader. Accepts null.
void CloseReader(SNDMyFILE* r);

// Little-endian values; zeros past the end of the source.
uint8_t ReadU8(SNDMyFILE* r);
uint16_t ReadU16(SNDMyFILE* r);
uint32_t ReadU32(SNDMyFILE* r);

}  // namespace moddeck
