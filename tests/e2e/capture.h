// End-to-end sound tests: each binary plays through the real OpenAL Soft,
// configured at start-up through ALSOFT_CONF to write what it plays into a
// wave file of this process (or to a driver that cannot open), and reads
// that file back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace moddeck::test {

// The wave file this process's OpenAL device writes; empty without one.
const std::string& CapturePath();
// A folder of this process for made input files.
const std::string& WorkDir();

// The samples of a 16-bit stereo wave file, interleaved.
std::vector<int16_t> ReadWaveSamples(const std::string& path);

// First frame with a sample whose magnitude exceeds `threshold`; -1 if none.
long FirstLoudFrame(const std::vector<int16_t>& stereo, int threshold = 1);

// Largest difference between `captured` from frame `at` on and `expected`,
// over the frames of `expected`; INT32_MAX when the capture is too short.
int32_t MaxDifference(const std::vector<int16_t>& captured, long at, const std::vector<int16_t>& expected);

}  // namespace moddeck::test
