// Builds the minimal files from the format builders; see minimal_files.h.
#include "support/minimal_files.h"

#include <cmath>

#include "support/it_builder.h"
#include "support/mod_builder.h"
#include "support/ogg_encoder.h"
#include "support/s3m_builder.h"
#include "support/xm_builder.h"

namespace moddeck::test {

namespace {

std::vector<uint8_t> Wave8(int n) {
    std::vector<uint8_t> w(n);
    // Signed 8-bit values, stored as the bytes they are.
    for (int i = 0; i < n; i++) w[i] = static_cast<uint8_t>(static_cast<int>(100 * std::sin(i * 6.2831853 / n)));
    return w;
}

// A pattern playing a note of sample 1 on every channel, with an effect on the first.
MODPattern NotesMOD(int channels, int effect, int param) {
    MODPattern p = EmptyMODPattern(channels);
    for (int c = 0; c < channels; c++) SetMODCell(p, channels, 0, c, 1, 428 >> (c & 1), 0, 0);
    SetMODCell(p, channels, 4, 0, 1, 214, effect, param);
    SetMODCell(p, channels, 8, 0, 0, 0, 0x0B, 0);  // jump back: the song loops early
    return p;
}

std::vector<uint8_t> MOD(const std::string& tag, int channels, bool longTag = false) {
    MODSpec desc;
    desc.tag = tag;
    desc.longTag = longTag;
    desc.channels = channels;
    MODSampleSpec s;
    s.data = Wave8(32);
    s.lengthWords = 16;
    s.loopStartWords = 0;
    s.loopLengthWords = 16;
    desc.samples = {s, s};
    desc.samples[1].finetune = 0x0F;
    desc.samples[1].loopLengthWords = 1;  // the one-word "no loop"
    desc.patterns = {NotesMOD(channels, 0x04, 0x48)};
    if (longTag) {
        desc.songLength = 3;
        desc.orders.assign(256, 0);
    }
    return BuildMOD(desc);
}

std::vector<uint8_t> S3M(uint8_t flags, bool markers) {
    S3MSpec desc;
    S3MSampleSpec s;
    const int frames = 32;
    const int bytesPerFrame = (flags & 4) ? 2 : 1;
    const int sides = (flags & 2) ? 2 : 1;
    s.length = frames;
    s.loopBegin = 4;
    s.loopEnd = frames;
    s.flags = flags | 1;
    for (int side = 0; side < sides; side++)
        for (int i = 0; i < frames; i++) {
            const int v = static_cast<int>(100 * std::sin(i * 6.2831853 / frames)) + 128;
            if (bytesPerFrame == 2) s.data.push_back(0);
            s.data.push_back(static_cast<uint8_t>(v));
        }
    desc.samples = {s};
    std::vector<uint8_t> row0 = S3MEvent(0, 0x40, 1, 48, 4 /* D: volume slide */, 0x0F);
    std::vector<uint8_t> more = S3MEvent(1, 0x32, 1, -1, 7 /* G: porta */, 0x20);
    row0.insert(row0.end(), more.begin(), more.end());
    row0.push_back(0);  // end of row 0
    for (int r = 1; r < 64; r++) row0.push_back(0);
    desc.patterns = {row0};
    if (markers) desc.orders = {0, 254, 0, 255};
    return BuildS3M(desc);
}

std::vector<uint8_t> XM(uint8_t type, bool envelopes) {
    XMSpec desc;
    desc.channels = 2;
    XMInstrumentSpec ins;
    XMSampleSpec s;
    const bool wide = type & 16;
    const int frames = 32;
    int previous = 0;
    for (int i = 0; i < frames; i++) {
        const int v = static_cast<int>((wide ? 20000 : 80) * std::sin(i * 6.2831853 / frames));
        const int delta = v - previous;
        previous = v;
        s.bytes.push_back(static_cast<uint8_t>(delta));
        if (wide) s.bytes.push_back(static_cast<uint8_t>(delta >> 8));
    }
    s.length = static_cast<uint32_t>(s.bytes.size());
    s.loopStart = wide ? 8 : 4;
    s.loopLength = s.length - s.loopStart;
    s.type = type;
    ins.samples = {s};
    if (envelopes) {
        const uint16_t vol[8] = {0, 64, 4, 32, 10, 48, 20, 0};
        const uint16_t pan[6] = {0, 0, 6, 64, 12, 32};
        for (int i = 0; i < 8; i++) ins.volEnv[i] = vol[i];
        for (int i = 0; i < 6; i++) ins.panEnv[i] = pan[i];
        ins.volPoints = 4;
        ins.panPoints = 3;
        ins.volSustain = 1;
        ins.volLoopStart = 1;
        ins.volLoopEnd = 2;
        ins.volType = 1 | 2 | 4;
        ins.panType = 1 | 4;
        ins.panLoopEnd = 2;
        ins.fadeout = 0x400;
    }
    desc.instruments = {ins};
    // Row 0: a note on each channel (the second with vibrato); row 2: key off; rows 1, 3: empty.
    desc.patterns.push_back({4, {0x31, 0x01, 0x40, 0x00, 0x00, 0x3D, 0x01, 0x00, 0x04, 0x46,  //
                                 0x80, 0x80,                                                  //
                                 0x61, 0x00, 0x00, 0x00, 0x00, 0x80,                          //
                                 0x80, 0x80}});
    return BuildXM(desc);
}

// An IT song of one sample (flags and form as given: plain or packed,
// 8- or 16-bit), in sample mode or with an instrument of three envelopes,
// in the new layout or the old one (with a song message).
std::vector<uint8_t> IT(bool instruments, bool oldLayout, uint8_t sampleFlags, bool it215) {
    ITSpec desc;
    desc.flags = 1 | 8 | (instruments ? 4 : 0);
    if (oldLayout) desc.compatibleWith = 0x100, desc.message = "an old\rsong";
    const bool wide = sampleFlags & 2;
    std::vector<int16_t> wave;
    for (int i = 0; i < 32; i++) wave.push_back(static_cast<int16_t>((wide ? 20000 : 100) * std::sin(i * 6.2831853 / 32)));
    ITSampleSpec s;
    s.flags = 1 | 0x10 | 0x20 | sampleFlags;
    s.convert = 1 | (it215 ? 4 : 0);
    s.length = 32, s.loopBegin = 4, s.loopEnd = 32, s.sustainEnd = 16;
    if (sampleFlags & 8)
        s.data = PackITSample(wave, wide, it215);
    else
        for (int16_t v : wave) wide ? PutU16(s.data, static_cast<uint16_t>(v)) : s.data.push_back(static_cast<uint8_t>(v));
    desc.samples = {s};
    ITInstrumentSpec ins;
    ins.fadeout = 64;
    ins.volume = {1 | 2 | 4, {{64, 0}, {32, 4}, {48, 10}, {0, 20}}, 1, 2, 1, 1};
    ins.panning = {1, {{-32, 0}, {32, 8}}};
    ins.pitch = {1, {{0, 0}, {8, 6}}};
    if (instruments) desc.instruments = {ins};
    desc.orders = {0, 254, 0, 255};
    // Row 0: a note on each channel, with a volume slide and a portamento; row 2: note off.
    std::vector<uint8_t> rows = ITCell(0, 60, 1, 48, 4, 0x0F);
    for (auto cell : {ITCell(1, 55, 1, -1, 7, 0x20), {0, 0}, ITCell(0, 255), {0, 0}}) rows.insert(rows.end(), cell.begin(), cell.end());
    desc.patterns = {{4, rows}};
    return BuildIT(desc);
}

std::vector<uint8_t> Ogg(int channels, int rate) {
    return EncodeOggVorbis(MakeTones(rate / 10, channels, rate, {440, 660, 0, 110, 880, 330}), {channels, rate, 0.0f});
}

}  // namespace

std::vector<MinimalFile> MinimalModules() {
    return {
        {"mk.mod", MOD("M.K.", 4)},
        {"6chn.mod", MOD("6CHN", 6)},
        {"8chn.mod", MOD("8CHN", 8)},
        {"16ch.mod", MOD("16CH", 16)},
        {"flt4.mod", MOD("FLT4", 4)},
        {"flt8.mod", MOD("FLT8", 8)},
        {"4flt.mod", MOD("4FLT", 4)},
        {"8flt.mod", MOD("8FLT", 8)},
        {"16ch-long.mod", MOD("", 16, true)},
        {"untagged.mod", MOD("", 4)},
        {"s3m-8bit.s3m", S3M(0, false)},
        {"s3m-16bit.s3m", S3M(4, false)},
        {"s3m-stereo.s3m", S3M(2, true)},
        {"s3m-stereo16.s3m", S3M(2 | 4, true)},
        {"xm-envelopes.xm", XM(1, true)},
        {"xm-16bit.xm", XM(16 | 1, false)},
        {"xm-pingpong.xm", XM(2, true)},
        {"xm-pingpong16.xm", XM(16 | 2, false)},
        {"it-samples.it", IT(false, false, 0, false)},
        {"it-instruments16.it", IT(true, false, 2, false)},
        {"it-packed8.it", IT(true, false, 8, false)},
        {"it-packed16.it", IT(false, false, 2 | 8, true)},
        {"it-old-instruments.it", IT(true, true, 8, true)},
    };
}

std::vector<MinimalFile> MinimalOggFiles() {
    return {{"mono.ogg", Ogg(1, 22050)}, {"stereo.ogg", Ogg(2, 44100)}, {"six.ogg", Ogg(6, 32000)}};
}

}  // namespace moddeck::test
