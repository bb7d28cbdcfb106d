// Builds S3M files in memory for the tests: header, orders, instruments with
// their data, and patterns given as raw packed event bytes. Every block is
// placed on a 16-byte paragraph and found through its parapointer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace moddeck::test {

struct S3MSampleSpec {
    std::string name = "sample";
    uint32_t length = 0;  // frames, as written in the header
    uint32_t loopBegin = 0;
    uint32_t loopEnd = 0;
    uint8_t volume = 64;
    uint8_t flags = 0;  // bit 0 loop, bit 1 stereo, bit 2 16-bit
    int32_t c2spd = 8363;
    std::vector<uint8_t> data;  // stored as given (unsigned values)
    int dataPointer = -1;       // override of the data parapointer
};

struct S3MSpec {
    std::string title = "s3m test";
    uint8_t speed = 6;
    uint8_t tempo = 125;
    uint8_t channelSettings[32] = {0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,
                                   255, 255, 255, 255, 255, 255, 255, 255,
                                   255, 255, 255, 255, 255, 255, 255, 255};
    std::vector<uint8_t> orders = {0, 255};
    uint8_t masterVolume = 0xB0;   // bit 7: stereo
    std::vector<uint8_t> panTable;  // 32 entries after the parapointers, when given
    std::vector<S3MSampleSpec> samples;
    std::vector<std::vector<uint8_t>> patterns;  // packed events, without the length word
    // Overrides for hostile files: counts written in the header (as signed
    // 16-bit) and parapointer lists written instead of the real ones.
    int orderCount = -1;
    int instrumentCount = -1;
    int patternCount = -1;
    std::vector<uint16_t> instrumentPointers;
    std::vector<uint16_t> patternPointers;
};

std::vector<uint8_t> BuildS3M(const S3MSpec& desc);

// Packed event bytes: a channel with any of note+instrument, volume and
// command+info (negative = absent).
std::vector<uint8_t> S3MEvent(int channel, int note, int instrument, int volume = -1, int command = -1,
                              int info = 0);

// A packed pattern of 64 rows, each the events given (rows not given are empty).
using S3MRow = std::vector<std::vector<uint8_t>>;
std::vector<uint8_t> S3MPattern(std::initializer_list<S3MRow> rows);

}  // namespace moddeck::test
