// Builds XM files in memory for the tests: a header, patterns given as raw
// packed bytes, and instruments with their samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace moddeck::test {

struct XMSampleSpec {
    std::vector<uint8_t> bytes;  // the data block as stored (delta-coded)
    uint32_t length = 0;         // byte length written in the header
    uint32_t loopStart = 0;
    uint32_t loopLength = 0;
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t type = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::string name = "sample";
};

struct XMInstrumentSpec {
    std::string name = "instrument";
    std::vector<XMSampleSpec> samples;
    uint8_t noteSample[96] = {};
    uint16_t volEnv[24] = {};  // 12 (x, y) pairs
    uint16_t panEnv[24] = {};
    uint8_t volPoints = 0, panPoints = 0;
    uint8_t volSustain = 0, volLoopStart = 0, volLoopEnd = 0;
    uint8_t panSustain = 0, panLoopStart = 0, panLoopEnd = 0;
    uint8_t volType = 0, panType = 0;
    uint16_t fadeout = 0;
    uint32_t headerSize = 263;  // S, the usual value with samples
};

struct XMPatternSpec {
    uint16_t rows = 64;
    std::vector<uint8_t> packed;
    uint32_t headerLength = 9;
};

struct XMSpec {
    std::string title = "test song";
    uint16_t songLength = 1;
    uint16_t restart = 0;
    uint16_t channels = 4;
    uint16_t flags = 1;
    uint16_t speed = 6;
    uint16_t bpm = 125;
    uint16_t version = 0x0104;
    uint32_t headerSize = 276;
    std::vector<uint8_t> orders = {0};
    std::vector<XMPatternSpec> patterns;
    std::vector<XMInstrumentSpec> instruments;
    // Overrides of the counts written in the header (tests of hostile headers).
    int patternCount = -1;
    int instrumentCount = -1;
};

std::vector<uint8_t> BuildXM(const XMSpec& desc);

// Helpers for hand-made bytes of every format: little-endian numbers, and
// text in a field of `n` bytes, cut or padded with zeros.
void PutU16(std::vector<uint8_t>& out, uint16_t v);
void PutU32(std::vector<uint8_t>& out, uint32_t v);
void PutText(std::vector<uint8_t>& out, const std::string& s, size_t n);

}  // namespace moddeck::test
