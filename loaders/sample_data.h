// The one sample-data conversion of the loaders: whatever a format stores,
// the player gets signed 16-bit mono frames.
#pragma once

#include <cstdint>

#include "song/reader.h"

namespace moddeck {

enum SampleEncoding : unsigned {
    kSample8Bit = 0,
    kSample16Bit = 1u << 0,   // little-endian 16-bit values
    kSampleDelta = 1u << 1,   // each value is the difference to the previous (XM)
    kSampleS3M = 1u << 2,     // unsigned values on the S3M scale (8-bit (u-127)*192, 16-bit (u-32767)*2/3)
    kSampleStereo = 1u << 3,  // the whole left channel, then the whole right one; averaged
    kSampleUnsigned = 1u << 4,  // unsigned values on the signed scale (IT without its signed bit)
};

// Bytes that `frames` frames take in the file.
int64_t SampleBytes(int64_t frames, unsigned encoding);

// Frames of a sample of `frames` frames that the bytes left in the reader
// can really hold: a length that the file does not back is cut to what is
// there, so a lying header cannot make a loader allocate gigabytes. The
// whole length counts towards the reader's reach.
int32_t FramesAvailable(SNDMyFILE* r, int64_t frames, unsigned encoding);

// Reads `frames` frames at the reader's position and writes them to dst as
// signed 16-bit frames. 8-bit signed values become value * 256.
void ReadSampleFrames(SNDMyFILE* r, int16_t* dst, int32_t frames, unsigned encoding);

}  // namespace moddeck
