// A four-channel XM song that is loud from its very first frame (every
// channel starts a looping square wave on row 0 and changes note every four
// rows), for tests that find the start of the sound in a capture.
#pragma once

#include <cstdint>
#include <vector>

namespace moddeck::test {

std::vector<uint8_t> BuildLoudModule();

}  // namespace moddeck::test
