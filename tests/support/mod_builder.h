// Builds Amiga-style MOD files in memory for the tests: a title, sample
// headers with their data, an order table, a tag and raw pattern rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace moddeck::test {

struct MODSampleSpec {
    std::string name = "sample";
    uint16_t lengthWords = 0;  // written as is; the data below may differ
    uint8_t finetune = 0;      // the raw byte
    uint8_t volume = 64;
    uint16_t loopStartWords = 0;
    uint16_t loopLengthWords = 0;
    std::vector<uint8_t> data;  // bytes written after the patterns
};

// One pattern: 64 rows of `channels` cells of 4 bytes, row-major.
using MODPattern = std::vector<uint8_t>;

struct MODSpec {
    std::string title = "mod test";
    // Written at 1080 (after a 128-entry order table); empty = untagged.
    std::string tag = "M.K.";
    // "16CH" after a 256-entry order table, at 1208 (tag above ignored).
    bool longTag = false;
    int afterTag = 0;          // zero bytes written after the tag
    int channels = 4;          // row width of the patterns written
    uint8_t songLength = 1;
    uint8_t restart = 127;
    std::vector<uint8_t> orders = {0};
    std::vector<MODSampleSpec> samples;  // slots 1.., at most 31 (15 untagged)
    std::vector<MODPattern> patterns;
};

// An empty pattern of the desc's width.
MODPattern EmptyMODPattern(int channels);
// Writes one cell: sample slot, 12-bit period, effect nibble and parameter.
void SetMODCell(MODPattern& p, int channels, int row, int channel, int sample, int period, int effect,
                int param);

std::vector<uint8_t> BuildMOD(const MODSpec& desc);

// A 4-channel "M.K." module of `orders` entries of one pattern at one tick a
// row, its samples named "kick", "" and "snare" (1 and 3 holding data),
// sample 1 playing from the first row; a pattern break after `rows` rows
// makes it short.
std::vector<uint8_t> KickSnareMOD(const std::string& title, uint8_t orders = 1, int rows = 64);

}  // namespace moddeck::test
