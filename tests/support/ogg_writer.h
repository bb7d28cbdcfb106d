// Encodes a short Ogg Vorbis stream in memory for the tests: a sine tone.
#pragma once

#include <cstdint>
#include <vector>

namespace moddeck::test {

// `seconds` of a 440 Hz tone at `rate` Hz in `channels` channels.
std::vector<uint8_t> EncodeOggTone(double seconds, int rate = 44100, int channels = 2);

}  // namespace moddeck::test
