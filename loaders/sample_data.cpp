#include "loaders/sample_data.h"

#include <algorithm>
#include <memory>

namespace moddeck {

namespace {

// Widens the i-th value of a channel block to signed 16 bits.
inline int32_t ValueAt(const uint8_t* block, int64_t i, unsigned encoding) {
    if (encoding & kSample16Bit) {
        uint32_t u = block[2 * i] | (block[2 * i + 1] << 8);
        if (encoding & kSampleS3M) return static_cast<int32_t>(u);  // kept unsigned for averaging
        return static_cast<int16_t>(u);
    }
    if (encoding & kSampleS3M) return block[i];
    return static_cast<int8_t>(block[i]);
}

inline int16_t S3MFrame(uint32_t u, unsigned encoding) {
    if (encoding & kSample16Bit)
        return static_cast<int16_t>(static_cast<float>(static_cast<int32_t>(u) - 32767) * 0.6666667f);
    return static_cast<int16_t>(static_cast<int32_t>(u) * 192 - 24384);
}

// One channel's block of signed (or unsigned, or delta) values.
void DecodeChannel(const uint8_t* block, int16_t* dst, int32_t frames, unsigned encoding) {
    if (encoding & kSample16Bit) {
        const uint16_t flip = (encoding & kSampleUnsigned) ? 0x8000 : 0;
        int16_t prev = 0;
        for (int32_t i = 0; i < frames; i++) {
            int16_t v = static_cast<int16_t>(ValueAt(block, i, encoding) ^ flip);
            if (encoding & kSampleDelta) v = static_cast<int16_t>(prev + v);  // 16-bit wrap
            dst[i] = prev = v;
        }
        return;
    }

    const uint8_t flip = (encoding & kSampleUnsigned) ? 0x80 : 0;
    int8_t prev = 0;
    for (int32_t i = 0; i < frames; i++) {
        int8_t v = static_cast<int8_t>(block[i] ^ flip);
        if (encoding & kSampleDelta) v = static_cast<int8_t>(prev + v);  // 8-bit wrap
        prev = v;
        dst[i] = static_cast<int16_t>(v * 256);
    }
}

}  // namespace

int64_t SampleBytes(int64_t frames, unsigned encoding) {
    int64_t bytes = frames;
    if (encoding & kSample16Bit) bytes *= 2;
    if (encoding & kSampleStereo) bytes *= 2;
    return bytes;
}

int32_t FramesAvailable(SNDMyFILE* r, int64_t frames, unsigned encoding) {
    if (frames <= 0) return 0;
    ReaderDeclare(r, r->pos + std::min<int64_t>(SampleBytes(frames, encoding), INT64_MAX / 4));
    int64_t per_frame = SampleBytes(1, encoding);
    int64_t backed = ReaderRemaining(r) / per_frame;
    return static_cast<int32_t>(std::min({frames, backed, int64_t{INT32_MAX}}));
}

void ReadSampleFrames(SNDMyFILE* r, int16_t* dst, int32_t frames, unsigned encoding) {
    if (frames <= 0) return;
    int64_t bytes = SampleBytes(frames, encoding);
    std::unique_ptr<uint8_t[]> raw(new uint8_t[bytes]);
    ReaderRead(r, raw.get(), static_cast<size_t>(bytes));

    if (encoding & kSampleS3M) {
        // Stereo S3M samples store the whole left channel, then the right one.
        const uint8_t* left = raw.get();
        const uint8_t* right = left + SampleBytes(frames, encoding & kSample16Bit);
        for (int32_t i = 0; i < frames; i++) {
            uint32_t u = ValueAt(left, i, encoding);
            if (encoding & kSampleStereo) u = (u + ValueAt(right, i, encoding)) / 2;
            dst[i] = S3MFrame(u, encoding);
        }
        return;
    }

    DecodeChannel(raw.get(), dst, frames, encoding);
    if (!(encoding & kSampleStereo)) return;
    std::unique_ptr<int16_t[]> right(new int16_t[frames]);
    DecodeChannel(raw.get() + SampleBytes(frames, encoding & kSample16Bit), right.get(), frames, encoding);
    for (int32_t i = 0; i < frames; i++) dst[i] = static_cast<int16_t>((dst[i] + right[i]) / 2);
}

}  // namespace moddeck
