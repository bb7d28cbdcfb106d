#include "support/it_builder.h"

#include <algorithm>

#include "support/xm_builder.h"

namespace moddeck::test {

namespace {

void PutBytes(std::vector<uint8_t>& out, std::initializer_list<int> bytes) {
    for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
}

void PatchU32(std::vector<uint8_t>& out, size_t at, size_t v) {
    for (int i = 0; i < 4; i++) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutEnvelope(std::vector<uint8_t>& out, const ITEnvelopeSpec& e) {
    PutBytes(out, {e.flags, static_cast<int>(e.points.size()), e.loopStart, e.loopEnd, e.sustainStart, e.sustainEnd});
    for (size_t k = 0; k < 25; k++) {
        const auto p = k < e.points.size() ? e.points[k] : std::pair<int8_t, uint16_t>{0, 0};
        out.push_back(static_cast<uint8_t>(p.first));
        PutU16(out, p.second);
    }
    out.push_back(0);
}

void PutKeyboard(std::vector<uint8_t>& out, uint8_t sample) {
    for (int n = 0; n < 120; n++) PutBytes(out, {n, sample});
}

void PutInstrument(std::vector<uint8_t>& out, const ITInstrumentSpec& in, bool newLayout) {
    PutText(out, "IMPI", 4);
    PutText(out, "", 13);
    if (newLayout) {
        PutBytes(out, {in.newNoteAction, in.duplicateCheck, in.duplicateAction});
        PutU16(out, in.fadeout);
        PutBytes(out, {0, 60, in.globalVolume, in.pan, 0, 0, 0, 0, 0, 0});
        PutText(out, in.name, 26);
        PutBytes(out, {in.cutoff, in.resonance, 0, 0, 0, 0});
        PutKeyboard(out, in.sample);
        for (const ITEnvelopeSpec* e : {&in.volume, &in.panning, &in.pitch}) PutEnvelope(out, *e);
        PutText(out, "", 4);
        return;
    }
    const ITEnvelopeSpec& e = in.volume;
    PutBytes(out, {e.flags, e.loopStart, e.loopEnd, e.sustainStart, e.sustainEnd, 0, 0});
    PutU16(out, in.fadeout);
    PutBytes(out, {in.newNoteAction, in.duplicateCheck, 0, 0, 0, 0});
    PutText(out, in.name, 26);
    PutText(out, "", 6);
    PutKeyboard(out, in.sample);
    PutText(out, "", 200);
    for (size_t k = 0; k < 25; k++)
        if (k < e.points.size())
            PutBytes(out, {e.points[k].second, e.points[k].first});
        else
            PutBytes(out, {0xFF, 0});
}

// The header of a sample; its data offset is patched in later, at the
// returned position.
size_t PutSampleHeader(std::vector<uint8_t>& out, const ITSampleSpec& s) {
    PutText(out, "IMPS", 4);
    PutText(out, "", 13);
    PutBytes(out, {s.globalVolume, s.flags, s.volume});
    PutText(out, s.name, 26);
    PutBytes(out, {s.convert, s.pan});
    for (uint32_t v : {s.length, s.loopBegin, s.loopEnd, s.c5Speed, s.sustainBegin, s.sustainEnd, 0u}) PutU32(out, v);
    out.insert(out.end(), s.vibrato, s.vibrato + 4);
    return out.size() - 8;
}

// Bits written from the lowest bit of each byte up.
struct BitWriter {
    std::vector<uint8_t> bytes;
    int used = 8;
    void Put(uint32_t value, int width) {
        for (int i = 0; i < width; i++) {
            if (used == 8) bytes.push_back(0), used = 0;
            bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << used++);
        }
    }
};

}  // namespace

ITSpec::ITSpec() {
    std::fill(pans, pans + 64, 32);
    std::fill(volumes, volumes + 64, 64);
}

std::vector<uint8_t> ITCell(int channel, int note, int instrument, int volume, int command, int param) {
    const int mask = (note >= 0 ? 1 : 0) | (instrument >= 0 ? 2 : 0) | (volume >= 0 ? 4 : 0) | (command >= 0 ? 8 : 0);
    std::vector<uint8_t> out{static_cast<uint8_t>((channel + 1) | 0x80), static_cast<uint8_t>(mask)};
    for (int v : {note, instrument, volume})
        if (v >= 0) out.push_back(static_cast<uint8_t>(v));
    if (command >= 0) PutBytes(out, {command, param});
    return out;
}

std::vector<uint8_t> PackITSample(const std::vector<int16_t>& frames, bool is16Bit, bool it215) {
    const size_t block = is16Bit ? 16384 : 32768;
    const int width = is16Bit ? 17 : 9;
    const uint32_t mask = is16Bit ? 0xFFFF : 0xFF;
    std::vector<uint8_t> out;
    for (size_t start = 0; start < frames.size(); start += block) {
        BitWriter bits;
        int32_t prev = 0, prevDelta = 0;
        for (size_t i = start; i < std::min(frames.size(), start + block); i++) {
            const int32_t delta = frames[i] - prev;
            bits.Put(static_cast<uint32_t>(it215 ? delta - prevDelta : delta) & mask, width);
            prev = frames[i];
            prevDelta = delta;
        }
        PutU16(out, static_cast<uint16_t>(bits.bytes.size()));
        out.insert(out.end(), bits.bytes.begin(), bits.bytes.end());
    }
    return out;
}

std::vector<uint8_t> BuildIT(const ITSpec& desc) {
    std::vector<uint8_t> out;
    PutText(out, "IMPM", 4);
    PutText(out, desc.title, 26);
    PutU16(out, 0);
    for (size_t n : {desc.orders.size(), desc.instruments.size(), desc.samples.size(), desc.patterns.size()})
        PutU16(out, static_cast<uint16_t>(n));
    for (uint16_t v : {desc.createdWith, desc.compatibleWith, desc.flags, uint16_t(desc.message.empty() ? 0 : 1)})
        PutU16(out, v);
    PutBytes(out, {desc.globalVolume, desc.mixVolume, desc.speed, desc.tempo, desc.separation, 0});
    PutU16(out, static_cast<uint16_t>(desc.message.size()));
    const size_t messageAt = out.size();
    PutText(out, "", 8);
    out.insert(out.end(), desc.pans, desc.pans + 64);
    out.insert(out.end(), desc.volumes, desc.volumes + 64);
    out.insert(out.end(), desc.orders.begin(), desc.orders.end());
    const size_t tables = out.size();
    PutText(out, "", 4 * (desc.instruments.size() + desc.samples.size() + desc.patterns.size()));
    size_t slot = tables;
    auto next = [&] { PatchU32(out, slot, out.size()), slot += 4; };

    if (!desc.message.empty()) PatchU32(out, messageAt, out.size());
    PutText(out, desc.message, desc.message.size());
    for (const ITInstrumentSpec& in : desc.instruments) next(), PutInstrument(out, in, desc.compatibleWith >= 0x200);
    std::vector<size_t> dataAt;
    for (const ITSampleSpec& s : desc.samples) next(), dataAt.push_back(PutSampleHeader(out, s));
    for (size_t i = 0; i < desc.samples.size(); i++) {
        PatchU32(out, dataAt[i], out.size());
        out.insert(out.end(), desc.samples[i].data.begin(), desc.samples[i].data.end());
    }
    for (const auto& [rows, cells] : desc.patterns) {
        next();
        PutU16(out, static_cast<uint16_t>(cells.size()));
        PutU16(out, rows);
        PutText(out, "", 4);
        out.insert(out.end(), cells.begin(), cells.end());
    }
    return out;
}

}  // namespace moddeck::test
