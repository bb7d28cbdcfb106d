#include "loaders/it_samples.h"

#include <algorithm>
#include <vector>

namespace moddeck {

namespace {

// What differs between 8-bit and 16-bit packing.
struct PackedForm {
    int valueBits;      // bits of a frame: 8 or 16
    int changeBits;     // bits that name a new width after the 1-to-6-bit escape
    int32_t blockFrames;
    int widest() const { return valueBits + 1; }  // a whole value and the change flag
};

constexpr PackedForm kPacked8{8, 3, 0x8000};
constexpr PackedForm kPacked16{16, 4, 0x4000};
constexpr int kMaxBlockBytes = 0xFFFF;  // the byte count is 16 bits

// The bits of one block, lowest bit of each byte first. A value that would
// run past the block's bytes is not there: the stream is cut.
class BlockBits {
public:
    BlockBits(const uint8_t* bytes, int64_t size) : bytes_(bytes), size_(size) {}

    bool Read(int width, uint32_t* value) {
        if (position_ + width > size_ * 8) return false;
        // A value of at most 17 bits starting anywhere in a byte spans at
        // most three bytes.
        int64_t at = position_ >> 3;
        uint32_t window = 0;
        for (int64_t i = 0; i < 3 && at + i < size_; i++)
            window |= static_cast<uint32_t>(bytes_[at + i]) << (8 * i);
        *value = (window >> (position_ & 7)) & ((1u << width) - 1);
        position_ += width;
        return true;
    }

private:
    const uint8_t* bytes_;
    int64_t size_;
    int64_t position_ = 0;
};

// The new width counted from 1 without the current one, as the two narrow
// escapes give it.
int Renumbered(uint32_t code, int width) {
    int n = static_cast<int>(code);
    return n < width ? n : n + 1;
}

constexpr int kAFrame = 0;
constexpr int kNoWidth = -1;  // a width of 0, or bits naming the width cut off

// When `value`, read at `width`, is a width change rather than a frame,
// returns the new width, which a damaged stream may make kNoWidth or wider
// than any value; kAFrame when it is a frame.
int WidthChange(uint32_t value, int width, const PackedForm& form, BlockBits* bits) {
    if (width < 7) {
        if (value != 1u << (width - 1)) return kAFrame;
        uint32_t code = 0;
        if (!bits->Read(form.changeBits, &code)) return kNoWidth;
        return Renumbered(code + 1, width);
    }
    if (width < form.widest()) {
        uint32_t wrap = 1u << (width - 1);
        uint32_t half = static_cast<uint32_t>(form.valueBits / 2);
        if (value < wrap - half || value >= wrap + half) return kAFrame;
        return Renumbered(value - (wrap - half) + 1, width);
    }
    if (!(value >> form.valueBits)) return kAFrame;
    int next = static_cast<int>((value + 1) & 0xFF);
    return next == 0 ? kNoWidth : next;
}

// The difference a frame value stands for, sign-extended from its width.
int32_t Difference(uint32_t value, int width, const PackedForm& form) {
    int shift = 32 - std::min(width, form.valueBits);
    return static_cast<int32_t>(value << shift) >> shift;
}

// Unpacks one block's frames into out[0..count); returns how many the
// stream held before it ended or went wrong.
int32_t UnpackBlock(BlockBits* bits, const PackedForm& form, bool it215, int16_t* out, int32_t count) {
    int width = form.widest();
    uint32_t once = 0, twice = 0;  // the sums wrap as the tracker's 8- or 16-bit ones
    for (int32_t done = 0; done < count;) {
        uint32_t value = 0;
        if (width < 1 || width > form.widest() || !bits->Read(width, &value)) return done;
        if (int next = WidthChange(value, width, form, bits); next != kAFrame) {
            width = next;
            continue;
        }
        once += static_cast<uint32_t>(Difference(value, width, form));
        twice += once;
        uint32_t level = it215 ? twice : once;
        out[done++] = form.valueBits == 8 ? static_cast<int16_t>(static_cast<int8_t>(level) * 256)
                                          : static_cast<int16_t>(level);
    }
    return count;
}

}  // namespace

int32_t PackedFramesAvailable(const SNDMyFILE* r, int64_t frames) {
    int64_t bits = ReaderRemaining(r) * 8;
    return static_cast<int32_t>(std::clamp<int64_t>(std::min(frames, bits), 0, INT32_MAX));
}

int32_t UnpackITSample(SNDMyFILE* r, int16_t* dst, int32_t frames, bool is16Bit, bool it215) {
    if (frames <= 0) return 0;
    std::fill(dst, dst + frames, int16_t{0});
    const PackedForm& form = is16Bit ? kPacked16 : kPacked8;
    std::vector<uint8_t> block(kMaxBlockBytes);
    int32_t reached = 0;
    // Every block takes at least its two count bytes from the reader, so
    // the loop ends at the end of the data whatever the counts say.
    for (int64_t start = 0; start < frames && ReaderRemaining(r) >= 2; start += form.blockFrames) {
        uint16_t size = ReadU16(r);
        int64_t got = static_cast<int64_t>(ReaderRead(r, block.data(), size));
        BlockBits bits(block.data(), got);
        auto count = static_cast<int32_t>(std::min<int64_t>(frames - start, form.blockFrames));
        int32_t done = UnpackBlock(&bits, form, it215, dst + start, count);
        if (done > 0) reached = static_cast<int32_t>(start + done);
    }
    return reached;
}

}  // namespace moddeck
