// Builds Impulse Tracker files in memory for the tests: header, orders,
// the song message, instruments (either layout), samples with their data
// (as given, or packed here) and packed patterns. Blocks follow the header
// in that order and are found through their offsets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace moddeck::test {

struct ITEnvelopeSpec {
    uint8_t flags = 0;  // bit 0 on, 1 loop, 2 sustain loop, 3 carry, 7 filter
    std::vector<std::pair<int8_t, uint16_t>> points;  // value, tick
    uint8_t loopStart = 0, loopEnd = 0, sustainStart = 0, sustainEnd = 0;
};

struct ITInstrumentSpec {
    std::string name = "instrument";
    uint8_t newNoteAction = 0, duplicateCheck = 0, duplicateAction = 0;
    uint16_t fadeout = 0;
    uint8_t globalVolume = 128;
    uint8_t pan = 0x80;  // bit 7: no pan of its own
    uint8_t cutoff = 0, resonance = 0;
    uint8_t sample = 1;  // every note plays itself with this slot
    ITEnvelopeSpec volume, panning, pitch;  // the older layout keeps the volume one, with at most 25 nodes
};

struct ITSampleSpec {
    std::string name = "sample";
    uint8_t flags = 1;    // bit 0 data, 1 16-bit, 2 stereo, 3 packed, 4 loop, 5 sustain, 6/7 ping-pong
    uint8_t convert = 1;  // bit 0 signed, bit 2 delta (packed: the second form)
    uint8_t volume = 64, globalVolume = 64, pan = 32;
    uint32_t length = 0;  // frames, as written
    uint32_t loopBegin = 0, loopEnd = 0, sustainBegin = 0, sustainEnd = 0;
    uint32_t c5Speed = 8363;
    uint8_t vibrato[4] = {0, 0, 0, 0};  // speed, depth, rate, type
    std::vector<uint8_t> data;  // written as given
};

struct ITSpec {
    std::string title = "it test";
    uint16_t createdWith = 0x214, compatibleWith = 0x214;  // below 0x200: the older instruments
    uint16_t flags = 1 | 8;                                 // stereo, linear slides; 4: instruments
    uint8_t globalVolume = 128, mixVolume = 48, speed = 6, tempo = 125, separation = 128;
    uint8_t pans[64], volumes[64];  // 32 and 64 each unless set
    std::vector<uint8_t> orders = {0, 255};
    std::string message;  // written when not empty
    std::vector<ITInstrumentSpec> instruments;
    std::vector<ITSampleSpec> samples;
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> patterns;  // rows, packed cells
    ITSpec();
};

std::vector<uint8_t> BuildIT(const ITSpec& desc);

// One packed cell with a fresh mask: note, instrument, volume column,
// command and parameter (negative = absent).
std::vector<uint8_t> ITCell(int channel, int note, int instrument = -1, int volume = -1, int command = -1,
                            int param = 0);

// Frames packed as the tracker packs them (blocks of values 9 or 17 bits
// wide): 8-bit values, or 16-bit ones when `is16Bit`; `it215`: the second
// form, whose values are differences of differences.
std::vector<uint8_t> PackITSample(const std::vector<int16_t>& frames, bool is16Bit, bool it215);

}  // namespace moddeck::test
