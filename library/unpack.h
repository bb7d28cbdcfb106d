// Modules packed whole with gzip, bzip2 or xz, as collections keep them:
// recognised by their first bytes and unpacked in memory, never past the
// largest module, so that a small file cannot expand without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "song/refusal.h"

namespace moddeck {

enum class Packing { None, Gzip, Bzip2, Xz, Zip };

// The packing of a file, from its magic bytes.
Packing PackingOf(const uint8_t* data, size_t size);

// "gzip", "bzip2", "xz", "zip"; "" for None.
const char* PackingName(Packing packing);

// Unpacked bytes: a block that grows without being cleared first, as a
// bomb of zeros would have it cleared hundreds of megabytes at a time.
class UnpackedBytes {
public:
    UnpackedBytes() = default;
    ~UnpackedBytes() { std::free(data_); }
    UnpackedBytes(const UnpackedBytes&) = delete;
    UnpackedBytes& operator=(const UnpackedBytes&) = delete;
    UnpackedBytes(UnpackedBytes&& other) noexcept { *this = std::move(other); }
    UnpackedBytes& operator=(UnpackedBytes&& other) noexcept;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t capacity() const { return capacity_; }
    // Grows the block to `bytes`, keeping what it holds; false without memory.
    bool Reserve(size_t bytes);
    void Release();

private:
    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
};

// Unpacks `size` bytes packed as `packing` (gzip, bzip2 or xz) into `out`,
// the unpacked length in *unpacked. Refusal::None, or CompressedDamaged
// (broken or cut data), CompressedTooLarge (more than `limit` bytes),
// TooLarge (no memory); `out` is then empty. Zip archives are refused as
// ZipArchive.
Refusal Unpack(Packing packing, const uint8_t* data, size_t size, size_t limit, UnpackedBytes& out, size_t* unpacked);

}  // namespace moddeck
