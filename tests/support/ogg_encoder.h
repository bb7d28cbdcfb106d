// Makes Ogg Vorbis files for the tests with libvorbisenc: any channel count
// and rate, optionally with a lying rate in the identification header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace moddeck::test {

struct OggSpec {
    int channels = 2;
    int rate = 44100;
    float quality = 0.4f;  // VBR quality, -0.1 .. 1.0
    long headerRate = 0;   // non-zero: rate written into the header instead
};

// Encodes `pcm` (interleaved 16-bit frames of desc.channels) as a whole
// Ogg Vorbis file with the Vorbis comments given ("KEY=value", as bytes).
// Returns an empty vector when libvorbisenc refuses the channel count or
// rate.
std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& pcm, const OggSpec& desc,
                                     const std::vector<std::string>& comments = {});

// `frames` frames of `channels` channels; channel c carries a cosine of
// freqs[c % freqs.size()] Hz at `amplitude` (0..1), loud from its first
// frame; a frequency of 0 gives a silent channel.
std::vector<int16_t> MakeTones(int frames, int channels, int rate, const std::vector<double>& freqs,
                               double amplitude = 0.5);

// Writes bytes to path; false on failure.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace moddeck::test
