// The smallest module of every MOD tag variant, S3M files (8/16-bit,
// stereo, order markers), XM files (envelopes, 16-bit, ping-pong loops), IT
// files (sample and instrument mode, both instrument layouts, packed 8- and
// 16-bit samples, a song message) and
// short Ogg Vorbis files (mono, stereo, six channels): the fuzzers' seeds
// and the damaged-file tests' originals, a few KB each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace moddeck::test {

struct MinimalFile {
    std::string name;  // file name with its extension
    std::vector<uint8_t> bytes;
};

// Every minimal module, in a fixed order.
std::vector<MinimalFile> MinimalModules();
// The Ogg Vorbis files; empty bytes when libvorbisenc refuses one.
std::vector<MinimalFile> MinimalOggFiles();

}  // namespace moddeck::test
