// Impulse Tracker's packed sample data, unpacked to the player's frames.
//
// The tracker packs a sample as a run of blocks. Each block is a 16-bit
// little-endian byte count and that many bytes of a bit stream, read from
// the lowest bit of each byte up. A block holds at most 32,768 frames of an
// 8-bit sample or 16,384 of a 16-bit one and starts afresh: values 9 bits
// wide (17 for 16-bit), sums at zero.
//
// A value is the difference to the previous frame in as few bits as the
// sound needs, sign-extended. Some values are reserved to change the width
// of the values that follow instead:
// - 1 to 6 bits: the one value 100..0, then 3 more bits (4 for 16-bit) that
//   give the new width;
// - 7 to 8 bits (7 to 16 for 16-bit): the 8 (16) values around the wrap
//   from the largest positive to the most negative one, in order;
// - 9 bits (17): any value with its top bit set, whose low byte is the new
//   width less one; the other bits are a whole 8-bit (16-bit) difference.
// The first two forms count the new widths from 1 and skip the current one,
// which needs no change. The 2.14 form sums the differences once; the 2.15
// form stores differences of differences and sums twice, which packs smooth
// sounds tighter. Sums wrap at 8 (16) bits, as the tracker's do.
#pragma once

#include <cstdint>

#include "song/reader.h"

namespace moddeck {

// Frames a packed sample said to be `frames` long can hold at most in the
// bytes left in the reader (one bit each): a lying header cannot make the
// loader allocate more than the file could fill.
int32_t PackedFramesAvailable(const SNDMyFILE* r, int64_t frames);

// Unpacks a packed sample of `frames` frames, 8- or 16-bit, in the 2.14 or
// the 2.15 form, from the reader's position into dst[0..frames) as signed
// 16-bit frames (8-bit values * 256, as ReadSampleFrames gives). Frames the
// data does not hold read as 0: a block cut short or naming an impossible
// width ends there, and the next block, whose start its byte count gives,
// is unpacked as usual. Returns how far the data reached: the frame after
// the last one unpacked. The reader is left after the last block read.
int32_t UnpackITSample(SNDMyFILE* r, int16_t* dst, int32_t frames, bool is16Bit, bool it215);

}  // namespace moddeck
