#include "library/unpack.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace moddeck {

namespace {

// The unpacked bytes grow in steps; the window of each step is what the
// decoder may write next.
constexpr size_t kFirstStep = size_t{1} << 16;
// xz may ask for a dictionary of up to 1.5 GiB; no packed module needs more
// than this.
constexpr uint64_t kXzMemoryLimit = uint64_t{256} << 20;
// The decoders count in unsigned int: input is handed over in slices.
constexpr size_t kSlice = UINT_MAX / 2;

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t n) {
    return size >= n && std::memcmp(data, magic, n) == 0;
}

// Room for the decoder's next output, up to one byte past `limit`, which
// tells a file that goes beyond it.
enum class Room { Made, Limit, NoMemory };
Room Grow(UnpackedBytes& out, size_t used, size_t limit) {
    const size_t room = std::min(std::max(out.capacity() * 2, kFirstStep), limit + 1);
    if (room <= used) return Room::Limit;
    return out.Reserve(room) ? Room::Made : Room::NoMemory;
}

// One decoder's steps: `step(in, inLeft, out, outLeft)` decodes what it can
// and returns Done, More or Broken, with the counts of what is left.
enum class Step { Done, More, Broken };

template <typename StepFn>
Refusal Run(const uint8_t* data, size_t size, size_t limit, UnpackedBytes& out, size_t& used, StepFn step) {
    size_t read = 0;
    used = 0;
    for (;;) {
        if (used == out.capacity()) {
            const Room room = Grow(out, used, limit);
            if (room != Room::Made) return room == Room::Limit ? Refusal::CompressedTooLarge : Refusal::TooLarge;
        }
        size_t inLeft = std::min(size - read, kSlice), outLeft = std::min(out.capacity() - used, kSlice);
        const size_t inBefore = inLeft, outBefore = outLeft;
        const Step s = step(data + read, inLeft, out.data() + used, outLeft);
        read += inBefore - inLeft;
        used += outBefore - outLeft;
        if (used > limit) return Refusal::CompressedTooLarge;
        if (s == Step::Broken) return Refusal::CompressedDamaged;
        if (s == Step::Done) break;
        // No progress with input left and room to write: the stream is cut.
        if (inBefore == inLeft && outBefore == outLeft && outBefore > 0) return Refusal::CompressedDamaged;
    }
    return Refusal::None;
}

Refusal Gunzip(const uint8_t* data, size_t size, size_t limit, UnpackedBytes& out, size_t& used) {
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return Refusal::TooLarge;
    const Refusal r = Run(data, size, limit, out, used, [&](const uint8_t* in, size_t& inLeft, uint8_t* o, size_t& outLeft) {
        z.next_in = const_cast<Bytef*>(in);
        z.avail_in = static_cast<uInt>(inLeft);
        z.next_out = o;
        z.avail_out = static_cast<uInt>(outLeft);
        const int rc = inflate(&z, Z_NO_FLUSH);
        inLeft = z.avail_in;
        outLeft = z.avail_out;
        if (rc == Z_STREAM_END) return Step::Done;
        return rc == Z_OK || rc == Z_BUF_ERROR ? Step::More : Step::Broken;
    });
    inflateEnd(&z);
    return r;
}

Refusal Bunzip(const uint8_t* data, size_t size, size_t limit, UnpackedBytes& out, size_t& used) {
    bz_stream b{};
    if (BZ2_bzDecompressInit(&b, 0, 0) != BZ_OK) return Refusal::TooLarge;
    const Refusal r = Run(data, size, limit, out, used, [&](const uint8_t* in, size_t& inLeft, uint8_t* o, size_t& outLeft) {
        b.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(in));
        b.avail_in = static_cast<unsigned>(inLeft);
        b.next_out = reinterpret_cast<char*>(o);
        b.avail_out = static_cast<unsigned>(outLeft);
        const int rc = BZ2_bzDecompress(&b);
        inLeft = b.avail_in;
        outLeft = b.avail_out;
        if (rc == BZ_STREAM_END) return Step::Done;
        return rc == BZ_OK ? Step::More : Step::Broken;
    });
    BZ2_bzDecompressEnd(&b);
    return r;
}

Refusal Unxz(const uint8_t* data, size_t size, size_t limit, UnpackedBytes& out, size_t& used) {
    lzma_stream x = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&x, kXzMemoryLimit, 0) != LZMA_OK) return Refusal::TooLarge;
    const Refusal r = Run(data, size, limit, out, used, [&](const uint8_t* in, size_t& inLeft, uint8_t* o, size_t& outLeft) {
        x.next_in = in;
        x.avail_in = inLeft;
        x.next_out = o;
        x.avail_out = outLeft;
        // The whole file is here: at the end of the input, finish.
        const lzma_ret rc = lzma_code(&x, inLeft == 0 ? LZMA_FINISH : LZMA_RUN);
        inLeft = x.avail_in;
        outLeft = x.avail_out;
        if (rc == LZMA_STREAM_END) return Step::Done;
        return rc == LZMA_OK || rc == LZMA_BUF_ERROR ? Step::More : Step::Broken;
    });
    lzma_end(&x);
    return r;
}

}  // namespace

Packing PackingOf(const uint8_t* data, size_t size) {
    if (!data) return Packing::None;
    if (StartsWith(data, size, "\x1f\x8b", 2)) return Packing::Gzip;
    if (StartsWith(data, size, "BZh", 3)) return Packing::Bzip2;
    if (StartsWith(data, size, "\xfd" "7zXZ\0", 6)) return Packing::Xz;
    if (StartsWith(data, size, "PK\x03\x04", 4)) return Packing::Zip;
    return Packing::None;
}

const char* PackingName(Packing packing) {
    switch (packing) {
        case Packing::Gzip: return "gzip";
        case Packing::Bzip2: return "bzip2";
        case Packing::Xz: return "xz";
        case Packing::Zip: return "zip";
        case Packing::None: break;
    }
    return "";
}

UnpackedBytes& UnpackedBytes::operator=(UnpackedBytes&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    return *this;
}

bool UnpackedBytes::Reserve(size_t bytes) {
    if (bytes <= capacity_) return true;
    void* grown = std::realloc(data_, bytes);
    if (!grown) return false;
    data_ = static_cast<uint8_t*>(grown);
    capacity_ = bytes;
    return true;
}

void UnpackedBytes::Release() {
    std::free(data_);
    data_ = nullptr;
    capacity_ = 0;
}

Refusal Unpack(Packing packing, const uint8_t* data, size_t size, size_t limit, UnpackedBytes& out, size_t* unpacked) {
    out.Release();
    size_t used = 0;
    Refusal r = Refusal::ZipArchive;
    switch (packing) {
        case Packing::Gzip: r = Gunzip(data, size, limit, out, used); break;
        case Packing::Bzip2: r = Bunzip(data, size, limit, out, used); break;
        case Packing::Xz: r = Unxz(data, size, limit, out, used); break;
        case Packing::Zip:
        case Packing::None: break;
    }
    if (r != Refusal::None) {
        out.Release();
        used = 0;
    }
    *unpacked = used;
    return r;
}

}  // namespace moddeck
