#include "support/xm_builder.h"

#include <algorithm>

namespace moddeck::test {

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8);
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

void PutText(std::vector<uint8_t>& out, const std::string& s, size_t n) {
    for (size_t i = 0; i < n; i++) out.push_back(i < s.size() ? s[i] : 0);
}

namespace {

void PutSampleData(std::vector<uint8_t>& out, const XMInstrumentSpec& ins) {
    for (const XMSampleSpec& s : ins.samples) out.insert(out.end(), s.bytes.begin(), s.bytes.end());
}

void PutPatterns(std::vector<uint8_t>& out, const XMSpec& desc) {
    const bool byteRows = desc.version <= 0x0102;  // rows less one, in a byte
    for (const XMPatternSpec& p : desc.patterns) {
        PutU32(out, p.headerLength);
        out.push_back(0);
        if (byteRows)
            out.push_back(static_cast<uint8_t>(p.rows - 1));
        else
            PutU16(out, p.rows);
        PutU16(out, p.packed.size());
        for (uint32_t i = byteRows ? 8 : 9; i < p.headerLength; i++) out.push_back(0);
        out.insert(out.end(), p.packed.begin(), p.packed.end());
    }
}

void PutInstruments(std::vector<uint8_t>& out, const XMSpec& desc, bool withData) {
    for (const XMInstrumentSpec& ins : desc.instruments) {
        uint32_t size = ins.samples.empty() ? 29 : ins.headerSize;
        PutU32(out, size);
        PutText(out, ins.name, 22);
        out.push_back(0);
        PutU16(out, ins.samples.size());
        if (ins.samples.empty()) {
            for (uint32_t i = 29; i < size; i++) out.push_back(0);
            continue;
        }
        PutU32(out, 40);
        out.insert(out.end(), ins.noteSample, ins.noteSample + 96);
        for (uint16_t v : ins.volEnv) PutU16(out, v);
        for (uint16_t v : ins.panEnv) PutU16(out, v);
        for (uint8_t b : {ins.volPoints, ins.panPoints, ins.volSustain, ins.volLoopStart, ins.volLoopEnd,
                          ins.panSustain, ins.panLoopStart, ins.panLoopEnd, ins.volType, ins.panType})
            out.push_back(b);
        for (int i = 0; i < 4; i++) out.push_back(0);  // vibrato
        PutU16(out, ins.fadeout);
        PutU16(out, 0);
        for (uint32_t i = 243; i < size; i++) out.push_back(0);
        for (const XMSampleSpec& s : ins.samples) {
            PutU32(out, s.length);
            PutU32(out, s.loopStart);
            PutU32(out, s.loopLength);
            out.push_back(s.volume);
            out.push_back(static_cast<uint8_t>(s.finetune));
            out.push_back(s.type);
            out.push_back(s.panning);
            out.push_back(static_cast<uint8_t>(s.relativeNote));
            out.push_back(0);
            PutText(out, s.name, 22);
        }
        if (withData) PutSampleData(out, ins);
    }
}

}  // namespace

std::vector<uint8_t> BuildXM(const XMSpec& desc) {
    std::vector<uint8_t> out;
    PutText(out, "Extended Module: ", 17);
    PutText(out, desc.title, 20);
    out.push_back(0x1A);
    PutText(out, "moddeck tests", 20);
    PutU16(out, desc.version);
    PutU32(out, desc.headerSize);
    PutU16(out, desc.songLength);
    PutU16(out, desc.restart);
    PutU16(out, desc.channels);
    PutU16(out, desc.patternCount >= 0 ? desc.patternCount : desc.patterns.size());
    PutU16(out, desc.instrumentCount >= 0 ? desc.instrumentCount : desc.instruments.size());
    PutU16(out, desc.flags);
    PutU16(out, desc.speed);
    PutU16(out, desc.bpm);
    for (uint32_t i = 0; i + 20 < desc.headerSize; i++) out.push_back(i < desc.orders.size() ? desc.orders[i] : 0);

    // Before 1.04 the instrument headers come first, the sample data last.
    const bool headersFirst = desc.version < 0x0104;
    if (headersFirst) PutInstruments(out, desc, false);
    PutPatterns(out, desc);
    if (!headersFirst) PutInstruments(out, desc, true);
    for (const XMInstrumentSpec& ins : desc.instruments)
        if (headersFirst) PutSampleData(out, ins);
    return out;
}

}  // namespace moddeck::test
