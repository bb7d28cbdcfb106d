#include "support/s3m_builder.h"

#include "support/xm_builder.h"

namespace moddeck::test {

namespace {

void PadToParagraph(std::vector<uint8_t>& out) {
    while (out.size() % 16) out.push_back(0);
}

uint16_t Paragraph(const std::vector<uint8_t>& out) {
    return static_cast<uint16_t>(out.size() / 16);
}

}  // namespace

std::vector<uint8_t> S3MEvent(int channel, int note, int instrument, int volume, int command, int info) {
    uint8_t w = static_cast<uint8_t>(channel & 31);
    if (note >= 0) w |= 0x20;
    if (volume >= 0) w |= 0x40;
    if (command >= 0) w |= 0x80;
    std::vector<uint8_t> out{w};
    if (note >= 0) {
        out.push_back(static_cast<uint8_t>(note));
        out.push_back(static_cast<uint8_t>(instrument));
    }
    if (volume >= 0) out.push_back(static_cast<uint8_t>(volume));
    if (command >= 0) {
        out.push_back(static_cast<uint8_t>(command));
        out.push_back(static_cast<uint8_t>(info));
    }
    return out;
}

std::vector<uint8_t> BuildS3M(const S3MSpec& desc) {
    std::vector<uint8_t> out;
    PutText(out, desc.title, 28);
    out.push_back(0x1A);
    out.push_back(16);  // S3M module
    PutU16(out, 0);
    PutU16(out, static_cast<uint16_t>(desc.orderCount >= 0 ? desc.orderCount : desc.orders.size()));
    size_t ins_count = desc.instrumentPointers.empty() ? desc.samples.size() : desc.instrumentPointers.size();
    size_t pat_count = desc.patternPointers.empty() ? desc.patterns.size() : desc.patternPointers.size();
    PutU16(out, static_cast<uint16_t>(desc.instrumentCount != -1 ? desc.instrumentCount : ins_count));
    PutU16(out, static_cast<uint16_t>(desc.patternCount != -1 ? desc.patternCount : pat_count));
    PutU16(out, 0);       // flags
    PutU16(out, 0x1320);  // tracker version
    PutU16(out, 2);       // unsigned samples
    PutText(out, "SCRM", 4);
    const uint8_t panMarker = desc.panTable.empty() ? 0 : 252;
    for (uint8_t b : {uint8_t{64}, desc.speed, desc.tempo, desc.masterVolume, uint8_t{0}, panMarker}) out.push_back(b);
    for (int i = 0; i < 8; i++) out.push_back(0);
    PutU16(out, 0);  // special pointer
    out.insert(out.end(), desc.channelSettings, desc.channelSettings + 32);
    out.insert(out.end(), desc.orders.begin(), desc.orders.end());

    // Parapointer lists, patched once the blocks are placed.
    size_t ins_list = out.size();
    for (size_t i = 0; i < ins_count; i++) PutU16(out, 0);
    size_t pat_list = out.size();
    for (size_t i = 0; i < pat_count; i++) PutU16(out, 0);
    out.insert(out.end(), desc.panTable.begin(), desc.panTable.end());
    auto patch = [&](size_t at, uint16_t v) {
        out[at] = v & 0xFF;
        out[at + 1] = v >> 8;
    };

    std::vector<size_t> data_pointer_at;
    for (size_t i = 0; i < desc.samples.size(); i++) {
        const S3MSampleSpec& s = desc.samples[i];
        PadToParagraph(out);
        if (desc.instrumentPointers.empty()) patch(ins_list + 2 * i, Paragraph(out));
        out.push_back(1);  // sample
        PutText(out, "file.raw", 12);
        data_pointer_at.push_back(out.size());
        out.push_back(0);
        PutU16(out, 0);
        PutU32(out, s.length);
        PutU32(out, s.loopBegin);
        PutU32(out, s.loopEnd);
        out.push_back(s.volume);
        out.push_back(0);
        out.push_back(0);
        out.push_back(s.flags);
        PutU32(out, static_cast<uint32_t>(s.c2spd));
        for (int k = 0; k < 12; k++) out.push_back(0);
        PutText(out, s.name, 28);
        PutText(out, "SCRS", 4);
    }
    for (size_t i = 0; i < desc.patterns.size(); i++) {
        PadToParagraph(out);
        if (desc.patternPointers.empty()) patch(pat_list + 2 * i, Paragraph(out));
        PutU16(out, static_cast<uint16_t>(desc.patterns[i].size() + 2));
        out.insert(out.end(), desc.patterns[i].begin(), desc.patterns[i].end());
    }
    for (size_t i = 0; i < desc.samples.size(); i++) {
        const S3MSampleSpec& s = desc.samples[i];
        PadToParagraph(out);
        uint32_t para = s.dataPointer >= 0 ? static_cast<uint32_t>(s.dataPointer) : Paragraph(out);
        out[data_pointer_at[i]] = static_cast<uint8_t>(para >> 16);
        patch(data_pointer_at[i] + 1, static_cast<uint16_t>(para & 0xFFFF));
        out.insert(out.end(), s.data.begin(), s.data.end());
    }
    for (size_t i = 0; i < desc.instrumentPointers.size(); i++) patch(ins_list + 2 * i, desc.instrumentPointers[i]);
    for (size_t i = 0; i < desc.patternPointers.size(); i++) patch(pat_list + 2 * i, desc.patternPointers[i]);
    return out;
}

std::vector<uint8_t> S3MPattern(std::initializer_list<S3MRow> rows) {
    std::vector<uint8_t> out;
    for (const S3MRow& row : rows) {
        for (const std::vector<uint8_t>& event : row) out.insert(out.end(), event.begin(), event.end());
        out.push_back(0);
    }
    out.resize(out.size() + 64 - rows.size(), 0);
    return out;
}

}  // namespace moddeck::test
