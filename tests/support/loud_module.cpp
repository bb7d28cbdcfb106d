#include "support/loud_module.h"

#include "support/xm_builder.h"

namespace moddeck::test {

std::vector<uint8_t> BuildLoudModule() {
    XMSampleSpec square;
    square.name = "square";
    // 32 frames of an 8-bit square wave, stored delta-coded, looped whole.
    int8_t previous = 0;
    for (int i = 0; i < 32; ++i) {
        const int8_t value = i < 16 ? 96 : -96;
        square.bytes.push_back(static_cast<uint8_t>(value - previous));
        previous = value;
    }
    square.length = 32;
    square.loopStart = 0;
    square.loopLength = 32;
    square.type = 1;  // forward loop
    XMInstrumentSpec instrument;
    instrument.samples.push_back(square);

    XMPatternSpec pattern;
    pattern.rows = 64;
    const uint8_t chords[4][4] = {{49, 53, 56, 61}, {51, 55, 58, 63}, {46, 50, 53, 58}, {44, 48, 51, 56}};
    for (int row = 0; row < 64; ++row)
        for (int channel = 0; channel < 4; ++channel) {
            if (row % 4 == 0) {
                // An unpacked cell: note, instrument, volume, effect, parameter.
                for (uint8_t b : {chords[(row / 4) % 4][channel], uint8_t{1}, uint8_t{0}, uint8_t{0}, uint8_t{0}})
                    pattern.packed.push_back(b);
            } else {
                pattern.packed.push_back(0x80);  // an empty packed cell
            }
        }

    XMSpec desc;
    desc.title = "loud";
    desc.channels = 4;
    desc.patterns.push_back(pattern);
    desc.instruments.push_back(instrument);
    return BuildXM(desc);
}

}  // namespace moddeck::test
