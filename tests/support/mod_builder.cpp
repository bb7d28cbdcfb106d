#include "support/mod_builder.h"

#include "support/xm_builder.h"

namespace moddeck::test {

namespace {

void PutBigEndian16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(v >> 8);
    out.push_back(v & 0xFF);
}

}  // namespace

MODPattern EmptyMODPattern(int channels) {
    return MODPattern(64 * channels * 4, 0);
}

void SetMODCell(MODPattern& p, int channels, int row, int channel, int sample, int period, int effect,
                int param) {
    uint8_t* c = &p[(row * channels + channel) * 4];
    c[0] = static_cast<uint8_t>((sample & 0xF0) | ((period >> 8) & 0x0F));
    c[1] = static_cast<uint8_t>(period & 0xFF);
    c[2] = static_cast<uint8_t>(((sample & 0x0F) << 4) | (effect & 0x0F));
    c[3] = static_cast<uint8_t>(param);
}

std::vector<uint8_t> BuildMOD(const MODSpec& desc) {
    bool tagged = desc.longTag || !desc.tag.empty();
    size_t headers = tagged ? 31 : 15;
    size_t order_entries = desc.longTag ? 256 : 128;

    std::vector<uint8_t> out;
    PutText(out, desc.title, 20);
    for (size_t i = 0; i < headers; i++) {
        MODSampleSpec s = i < desc.samples.size() ? desc.samples[i] : MODSampleSpec{"", 0, 0, 0, 0, 0, {}};
        PutText(out, s.name, 22);
        PutBigEndian16(out, s.lengthWords);
        out.push_back(s.finetune);
        out.push_back(s.volume);
        PutBigEndian16(out, s.loopStartWords);
        PutBigEndian16(out, s.loopLengthWords);
    }
    out.push_back(desc.songLength);
    out.push_back(desc.restart);
    for (size_t i = 0; i < order_entries; i++) out.push_back(i < desc.orders.size() ? desc.orders[i] : 0);
    if (desc.longTag)
        PutText(out, "16CH", 4);
    else if (tagged)
        PutText(out, desc.tag, 4);
    out.insert(out.end(), desc.afterTag, 0);
    for (const MODPattern& p : desc.patterns) out.insert(out.end(), p.begin(), p.end());
    for (const MODSampleSpec& s : desc.samples) out.insert(out.end(), s.data.begin(), s.data.end());
    return out;
}

std::vector<uint8_t> KickSnareMOD(const std::string& title, uint8_t orders, int rows) {
    MODSpec desc;
    desc.title = title;
    desc.songLength = orders;
    desc.orders.assign(orders, 0);
    desc.samples = {{"kick", 16, 0, 64, 0, 1, std::vector<uint8_t>(32, 40)},
                    {"", 0, 0, 0, 0, 0, {}},
                    {"snare", 8, 0, 64, 0, 1, std::vector<uint8_t>(16, 90)}};
    MODPattern pattern = EmptyMODPattern(4);
    SetMODCell(pattern, 4, 0, 0, 1, 428, 0xF, 1);
    if (rows < 64) SetMODCell(pattern, 4, rows - 1, 1, 0, 0, 0xD, 0);
    desc.patterns = {pattern};
    return BuildMOD(desc);
}

}  // namespace moddeck::test
