// moddeck-make-examples DIR: writes Moddeck's own example tune as
// DIR/moddeck-demo.xm, .s3m and .mod. Every sample is synthesised here and
// the tune is written out cell by cell, so the examples are entirely ours.
//
// moddeck-make-examples --dense FILE: writes the mixer's worst case for
// moddeck-bench, a 32-channel XM whose every voice always sounds.
// moddeck-make-examples --dense-filtered FILE: the same tune as an IT whose
// every voice also sounds through the resonant filter, Zxx moving its
// cutoff and resonance.
//
// The tune: four channels (lead, bass, kick, hi-hat), two 64-row patterns at
// speed 6 and 125 BPM, about 15 seconds. It uses arpeggio, portamento, tone
// portamento, vibrato, volume slides, set volume and note cut in all three
// formats; the XM adds volume and panning envelopes, fade-out and key-off.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// ---- The tune, in a format-neutral form.

constexpr int kChannels = 4;
constexpr int kRows = 64;
constexpr int kNoNote = -1;
constexpr int kKeyOff = -2;

// Effects, named by their MOD numbers; each writer maps them.
enum Effect : uint8_t {
    kNone = 0xFF,
    kArpeggio = 0x0,
    kPortaUp = 0x1,
    kPortaDown = 0x2,
    kTonePorta = 0x3,
    kVibrato = 0x4,
    kVolSlide = 0xA,
    kSetVolume = 0xC,
    kNoteCut = 0xE,  // param 0xCx only
    kFilterMacro = 0x5A,  // IT's Zxx only
};

struct Cell {
    int note = kNoNote;  // 12 * octave + semitone; C-4 (48) plays a sample at its base rate
    int instrument = 0;  // 1..4
    int volume = -1;     // 0..64, -1 = none (MOD and XM write it as set volume)
    uint8_t effect = kNone;
    uint8_t param = 0;
};

using Pattern = std::vector<Cell>;  // kRows * channels, row-major

int N(const char* name) {  // "C-4", "F#3"
    static const char* letters = "C-C#D-D#E-F-F#G-G#A-A#B-";
    for (int s = 0; s < 12; s++)
        if (name[0] == letters[2 * s] && name[1] == letters[2 * s + 1]) return 12 * (name[2] - '0') + s;
    return kNoNote;
}

struct Tune {
    int channels = kChannels;
    std::vector<Pattern> patterns;
    std::vector<int> orders;
};

Tune MakeTune() {
    Tune t;
    const char* bass[4] = {"C-3", "A-3", "F-3", "G-3"};
    const char* melody[2][16] = {
        {"C-5", "", "E-5", "", "G-5", "", "", "E-5", "A-5", "", "G-5", "", "F-5", "", "E-5", ""},
        {"E-5", "", "G-5", "", "C-5", "", "", "D-5", "C-5", "", "A-4", "", "B-4", "", "D-5", ""},
    };
    for (int p = 0; p < 2; p++) {
        Pattern pat(kRows * kChannels);
        auto at = [&](int row, int ch) -> Cell& { return pat[size_t(row * kChannels + ch)]; };
        for (int r = 0; r < kRows; r++) {
            // Lead: a note every second row of the melody, with effects on the rows between.
            const char* m = melody[p][(r / 4) % 16];
            if (r % 4 == 0 && m[0]) at(r, 0) = {N(m), 1, 48, kNone, 0};
            if (r % 4 == 2) at(r, 0).effect = kVibrato, at(r, 0).param = 0x46;
            if (r % 4 == 3) at(r, 0).effect = kVibrato, at(r, 0).param = 0x00;
            // Bass: one chord root every 16 rows, fading with a volume slide.
            if (r % 16 == 0) at(r, 1) = {N(bass[r / 16]), 2, 64, kNone, 0};
            if (r % 16 >= 4) at(r, 1).effect = kVolSlide, at(r, 1).param = 0x01;
            // Kick on the beat, hi-hat on the off-beats cut short.
            if (r % 8 == 0) at(r, 2) = {N("C-4"), 3, 64, kNone, 0};
            if (r % 4 == 2) at(r, 3) = {N("C-5"), 4, (r % 8 == 2) ? 40 : 24, kNoteCut, 0xC3};
        }
        if (p == 0) {
            // An arpeggiated chord and a slide into the next phrase.
            at(32, 0) = {N("C-5"), 1, 48, kArpeggio, 0x47};
            for (int r = 33; r < 40; r++) at(r, 0).effect = kArpeggio, at(r, 0).param = 0x47;
            at(60, 0).effect = kPortaUp, at(60, 0).param = 0x04;
            at(61, 0).effect = kPortaUp, at(61, 0).param = 0x04;
            at(62, 0).effect = kPortaDown, at(62, 0).param = 0x08;
        } else {
            // Tone portamento glides from note to note.
            at(20, 0) = {N("A-5"), 0, -1, kTonePorta, 0x10};
            at(21, 0).effect = kTonePorta, at(21, 0).param = 0x00;
            at(22, 0).effect = kTonePorta, at(22, 0).param = 0x00;
            at(44, 0) = {N("G-4"), 0, -1, kTonePorta, 0x08};
            at(45, 0).effect = kTonePorta, at(45, 0).param = 0x00;
            // Key-offs let the lead's envelope release before the end.
            at(58, 0) = {kKeyOff, 0, -1, kNone, 0};
            at(62, 2) = {N("C-4"), 3, 48, kNone, 0};
        }
        t.patterns.push_back(pat);
    }
    t.orders = {0, 1};
    return t;
}

// ---- Samples: 8-bit signed, synthesised. A 32-frame cycle at 8363 Hz is
// a C, so every looping instrument is in tune with the note names.

struct Sample {
    std::string name;
    std::vector<int8_t> frames;
    int loopStart = 0;
    int loopLength = 0;  // 0 = one-shot
    bool pingPong = false;  // XM only
    int volume = 64;
};

std::vector<Sample> MakeSamples() {
    std::vector<Sample> s(4);
    s[0].name = "moddeck square lead";
    for (int i = 0; i < 32 * 8; i++) s[0].frames.push_back(int8_t((i % 32) < 12 ? 70 : -70));
    s[0].loopLength = 32 * 8;
    s[0].volume = 48;

    s[1].name = "moddeck saw bass";
    for (int i = 0; i < 32 * 8; i++) s[1].frames.push_back(int8_t(-90 + (i % 32) * 180 / 31));
    s[1].loopLength = 32 * 8;

    s[2].name = "moddeck kick";
    double phase = 0;
    for (int i = 0; i < 2400; i++) {
        double f = 40.0 + 160.0 * std::exp(-i / 300.0);
        phase += 2 * M_PI * f / 8363.0;
        s[2].frames.push_back(int8_t(120.0 * std::exp(-i / 900.0) * std::sin(phase)));
    }

    s[3].name = "moddeck hi-hat";
    uint32_t seed = 12345;
    for (int i = 0; i < 1200; i++) {
        seed = seed * 1103515245u + 12345u;
        double noise = double(int((seed >> 16) & 0xFF) - 128);
        s[3].frames.push_back(int8_t(noise * std::exp(-i / 250.0)));
    }
    s[3].volume = 40;
    return s;
}

// ---- The benchmark's worst case: every one of 32 channels plays a looped
// sample all the time, at pitches spread over four octaves that move every
// tick (vibrato, arpeggio) and every 16 rows (new notes), so that no voice
// is ever skipped as silent and every loop kind wraps again and again.

constexpr int kDenseChannels = 32;

Tune MakeDenseTune() {
    Tune t;
    t.channels = kDenseChannels;
    Pattern pat(kRows * kDenseChannels);
    for (int r = 0; r < kRows; r++)
        for (int c = 0; c < kDenseChannels; c++) {
            Cell& cell = pat[size_t(r * kDenseChannels + c)];
            if (r % 16 == 0) cell = {24 + (5 * c + 7 * (r / 16)) % 48, 1 + c % 4, 16 + c % 24, kNone, 0};
            else if (c % 4 == 1) cell.effect = kVibrato, cell.param = 0x46;
            else if (c % 4 == 2) cell.effect = kArpeggio, cell.param = 0x37;
        }
    t.patterns.push_back(pat);
    t.orders = {0};
    return t;
}

// Every note of the worst case also sets its voice's filter: a resonance
// on the first note, then cutoffs and resonances by turns.
Tune MakeDenseFilteredTune() {
    Tune t = MakeDenseTune();
    for (int r = 0; r < kRows; r += 16)
        for (int c = 0; c < kDenseChannels; c++) {
            Cell& cell = t.patterns[0][size_t(r * kDenseChannels + c)];
            cell.effect = kFilterMacro;
            cell.param = uint8_t(r % 32 ? 0x18 + (3 * c) % 0x60 : 0x81 + c % 15);
        }
    return t;
}

// The demo's lead and bass, a long pad looped over its second half and a
// short sweep played back and forth.
std::vector<Sample> MakeDenseSamples() {
    std::vector<Sample> s = MakeSamples();
    s.resize(2);
    Sample pad;
    pad.name = "moddeck pad";
    for (int i = 0; i < 12000; i++)
        pad.frames.push_back(int8_t(60.0 * std::sin(2 * M_PI * i / 32.0) + 30.0 * std::sin(2 * M_PI * i / 47.0)));
    pad.loopStart = 6000;
    pad.loopLength = 6000;
    s.push_back(pad);
    Sample sweep;
    sweep.name = "moddeck sweep";
    for (int i = 0; i < 3000; i++) sweep.frames.push_back(int8_t(100.0 * std::sin(2 * M_PI * i * i / 600000.0)));
    sweep.loopLength = 3000;
    sweep.pingPong = true;
    s.push_back(sweep);
    return s;
}

// ---- Writers.

void U8(Bytes& b, int v) { b.push_back(uint8_t(v)); }
void U16(Bytes& b, int v) { U8(b, v & 0xFF), U8(b, (v >> 8) & 0xFF); }
void U32(Bytes& b, uint32_t v) { U16(b, int(v & 0xFFFF)), U16(b, int(v >> 16)); }
void U16BE(Bytes& b, int v) { U8(b, (v >> 8) & 0xFF), U8(b, v & 0xFF); }
void Text(Bytes& b, const std::string& s, size_t n) {
    for (size_t i = 0; i < n; i++) U8(b, i < s.size() ? s[i] : 0);
}
void Pad(Bytes& b, size_t multiple) {
    while (b.size() % multiple) U8(b, 0);
}

const char* kTitle = "Moddeck demo";

Bytes WriteXM(const Tune& t, const std::vector<Sample>& samples) {
    Bytes b;
    Text(b, "Extended Module: ", 17);
    Text(b, kTitle, 20);
    U8(b, 0x1A);
    Text(b, "moddeck examples", 20);
    U16(b, 0x0104);
    U32(b, 276);
    U16(b, int(t.orders.size()));
    U16(b, 0);  // restart
    U16(b, t.channels);
    U16(b, int(t.patterns.size()));
    U16(b, int(samples.size()));
    U16(b, 1);  // linear frequencies
    U16(b, 6);
    U16(b, 125);
    for (int i = 0; i < 256; i++) U8(b, i < int(t.orders.size()) ? t.orders[size_t(i)] : 0);

    for (const Pattern& p : t.patterns) {
        Bytes data;
        for (const Cell& c : p) {
            int note = c.note == kKeyOff ? 97 : c.note == kNoNote ? 0 : c.note + 1;
            int vol = c.volume >= 0 ? 0x10 + c.volume : 0;
            int effect = c.effect == kNone ? 0 : c.effect;
            int param = c.effect == kNone ? 0 : c.param;
            data.insert(data.end(), {uint8_t(note), uint8_t(c.instrument), uint8_t(vol), uint8_t(effect), uint8_t(param)});
        }
        U32(b, 9);
        U8(b, 0);
        U16(b, kRows);
        U16(b, int(data.size()));
        b.insert(b.end(), data.begin(), data.end());
    }

    for (size_t i = 0; i < samples.size(); i++) {
        const Sample& s = samples[i];
        U32(b, 263);
        Text(b, s.name, 22);
        U8(b, 0);
        U16(b, 1);
        U32(b, 40);
        for (int k = 0; k < 96; k++) U8(b, 0);
        // Envelopes (tick, value): the lead swells and holds until its
        // key-off, the bass decays, the lead also wanders across the stereo field.
        std::vector<std::pair<int, int>> vol, pan;
        int volType = 0, panType = 0, sustain = 0, loopStart = 0, loopEnd = 0, fadeout = 0;
        int panLoopStart = 0, panLoopEnd = 0;
        if (i == 0) {
            vol = {{0, 20}, {6, 64}, {16, 44}, {40, 36}};
            volType = 1 | 2;  // on, sustain
            sustain = 2;
            fadeout = 0x300;
            pan = {{0, 16}, {48, 48}, {96, 16}};
            panType = 1 | 4;  // on, loop
            panLoopStart = 0;
            panLoopEnd = 2;
        } else if (i == 1) {
            vol = {{0, 64}, {24, 40}, {96, 24}};
            volType = 1;
            fadeout = 0x200;
        }
        for (int k = 0; k < 12; k++) U16(b, k < int(vol.size()) ? vol[size_t(k)].first : 0), U16(b, k < int(vol.size()) ? vol[size_t(k)].second : 0);
        for (int k = 0; k < 12; k++) U16(b, k < int(pan.size()) ? pan[size_t(k)].first : 0), U16(b, k < int(pan.size()) ? pan[size_t(k)].second : 0);
        U8(b, int(vol.size()));
        U8(b, int(pan.size()));
        U8(b, sustain), U8(b, loopStart), U8(b, loopEnd);
        U8(b, 0), U8(b, panLoopStart), U8(b, panLoopEnd);
        U8(b, volType), U8(b, panType);
        U8(b, 0), U8(b, 0), U8(b, 0), U8(b, 0);  // auto-vibrato
        U16(b, fadeout);
        U16(b, 0);
        for (int k = 243; k < 263; k++) U8(b, 0);

        U32(b, uint32_t(s.frames.size()));
        U32(b, uint32_t(s.loopStart));
        U32(b, uint32_t(s.loopLength));
        U8(b, s.volume);
        U8(b, 0);                          // finetune
        U8(b, s.loopLength ? (s.pingPong ? 2 : 1) : 0);  // 8-bit
        U8(b, 128);                        // panning
        U8(b, 0);                          // relative note: C-4 is the base rate
        U8(b, 0);
        Text(b, s.name, 22);
        int8_t previous = 0;
        for (int8_t f : s.frames) {
            U8(b, uint8_t(int8_t(f - previous)));  // delta-coded
            previous = f;
        }
    }
    return b;
}

Bytes WriteMOD(const Tune& t, const std::vector<Sample>& samples) {
    // Periods of C-1..B-3 at finetune 0; octave 1 here is the tune's octave 3.
    static const int periods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                    428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                    214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    Bytes b;
    Text(b, kTitle, 20);
    for (int i = 0; i < 31; i++) {
        if (i < int(samples.size())) {
            const Sample& s = samples[size_t(i)];
            Text(b, s.name, 22);
            U16BE(b, int(s.frames.size() / 2));
            U8(b, 0);
            U8(b, s.volume);
            U16BE(b, s.loopStart / 2);
            U16BE(b, s.loopLength ? s.loopLength / 2 : 1);
        } else {
            Text(b, "", 22);
            U16BE(b, 0), U8(b, 0), U8(b, 0), U16BE(b, 0), U16BE(b, 1);
        }
    }
    U8(b, int(t.orders.size()));
    U8(b, 127);
    for (int i = 0; i < 128; i++) U8(b, i < int(t.orders.size()) ? t.orders[size_t(i)] : 0);
    Text(b, "M.K.", 4);
    for (const Pattern& p : t.patterns) {
        for (const Cell& c : p) {
            int period = 0;
            if (c.note >= 36 && c.note < 72) period = periods[c.note - 36];
            int effect = 0, param = 0;
            if (c.effect != kNone) effect = c.effect, param = c.param;
            else if (c.volume >= 0 && c.note >= 0) effect = kSetVolume, param = c.volume;
            // A key-off has no MOD form: silence the note instead.
            if (c.note == kKeyOff) effect = kSetVolume, param = 0;
            U8(b, (c.instrument & 0xF0) | (period >> 8));
            U8(b, period & 0xFF);
            U8(b, ((c.instrument & 0x0F) << 4) | effect);
            U8(b, param);
        }
    }
    for (const Sample& s : samples)
        for (int8_t f : s.frames) U8(b, uint8_t(f));
    return b;
}

Bytes WriteS3M(const Tune& t, const std::vector<Sample>& samples) {
    Bytes b;
    Text(b, kTitle, 28);
    U8(b, 0x1A);
    U8(b, 16);
    U16(b, 0);
    // The order list has an even length; an odd one is closed by a 255 (end).
    int ordnum = int(t.orders.size());
    ordnum += ordnum & 1;
    U16(b, ordnum);
    U16(b, int(samples.size()));
    U16(b, int(t.patterns.size()));
    U16(b, 0);       // flags
    U16(b, 0x1320);  // made by a version 3.20 compatible writer
    U16(b, 2);       // unsigned samples
    Text(b, "SCRM", 4);
    U8(b, 64);   // global volume
    U8(b, 6);    // speed
    U8(b, 125);  // tempo
    U8(b, 0x80 | 48);  // stereo
    U8(b, 0);
    U8(b, 0);    // no panning table
    for (int i = 0; i < 8; i++) U8(b, 0);
    U16(b, 0);
    const int settings[kChannels] = {0, 8, 1, 9};  // left, right, left, right
    for (int i = 0; i < 32; i++) U8(b, i < kChannels ? settings[i] : 255);
    for (int i = 0; i < ordnum; i++) U8(b, i < int(t.orders.size()) ? t.orders[size_t(i)] : 255);

    size_t pointers = b.size();
    for (size_t i = 0; i < samples.size() + t.patterns.size(); i++) U16(b, 0);
    auto setPointer = [&](size_t index) {
        Pad(b, 16);
        int para = int(b.size() / 16);
        b[pointers + 2 * index] = uint8_t(para & 0xFF);
        b[pointers + 2 * index + 1] = uint8_t(para >> 8);
    };

    std::vector<size_t> memsegAt;
    for (size_t i = 0; i < samples.size(); i++) {
        const Sample& s = samples[i];
        setPointer(i);
        U8(b, 1);
        Text(b, "", 12);
        memsegAt.push_back(b.size());
        U8(b, 0), U16(b, 0);  // memseg, filled in below
        U32(b, uint32_t(s.frames.size()));
        U32(b, uint32_t(s.loopStart));
        U32(b, uint32_t(s.loopStart + (s.loopLength ? s.loopLength : 0)));
        U8(b, s.volume);
        U8(b, 0);
        U8(b, 0);
        U8(b, s.loopLength ? 1 : 0);
        U32(b, 8363);
        for (int k = 0; k < 12; k++) U8(b, 0);
        Text(b, s.name, 28);
        Text(b, "SCRS", 4);
    }

    for (size_t pi = 0; pi < t.patterns.size(); pi++) {
        const Pattern& p = t.patterns[pi];
        setPointer(samples.size() + pi);
        Bytes data;
        for (int r = 0; r < kRows; r++) {
            for (int ch = 0; ch < kChannels; ch++) {
                const Cell& c = p[size_t(r * kChannels + ch)];
                int what = ch;
                bool hasNote = c.note != kNoNote || c.instrument;
                int command = 0, info = 0;
                switch (c.effect) {
                    case kArpeggio: command = 'J' - '@', info = c.param; break;
                    case kPortaUp: command = 'F' - '@', info = c.param; break;
                    case kPortaDown: command = 'E' - '@', info = c.param; break;
                    case kTonePorta: command = 'G' - '@', info = c.param; break;
                    case kVibrato: command = 'H' - '@', info = c.param; break;
                    case kVolSlide: command = 'D' - '@', info = c.param; break;
                    case kNoteCut: command = 'S' - '@', info = c.param; break;
                    default: break;
                }
                if (hasNote) what |= 0x20;
                if (c.volume >= 0) what |= 0x40;
                if (command) what |= 0x80;
                if (what == ch) continue;
                U8(data, what);
                if (hasNote) {
                    int note = c.note == kKeyOff ? 254 : c.note == kNoNote ? 255 : ((c.note / 12) << 4) | (c.note % 12);
                    U8(data, note);
                    U8(data, c.instrument);
                }
                if (c.volume >= 0) U8(data, c.volume);
                if (command) U8(data, command), U8(data, info);
            }
            U8(data, 0);
        }
        U16(b, int(data.size() + 2));
        b.insert(b.end(), data.begin(), data.end());
    }

    for (size_t i = 0; i < samples.size(); i++) {
        Pad(b, 16);
        uint32_t para = uint32_t(b.size() / 16);
        b[memsegAt[i]] = uint8_t(para >> 16);
        b[memsegAt[i] + 1] = uint8_t(para & 0xFF);
        b[memsegAt[i] + 2] = uint8_t((para >> 8) & 0xFF);
        for (int8_t f : samples[i].frames) U8(b, uint8_t(f) ^ 0x80);  // unsigned
    }
    return b;
}

// An IT in sample mode, at IT 2.14: the tune's instruments name samples,
// its notes sound an octave higher (C-5 plays a sample at its base rate).
// Only the effects of the benchmark's tunes are written.
int ITCommand(uint8_t effect) {
    switch (effect) {
        case kArpeggio: return 10;     // J
        case kVibrato: return 8;       // H
        case kFilterMacro: return 26;  // Z
        default: return 0;
    }
}

Bytes ITPattern(const Tune& t, const Pattern& p) {
    Bytes data;
    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < t.channels; c++) {
            const Cell& cell = p[size_t(r * t.channels + c)];
            const int command = ITCommand(cell.effect);
            const int mask = (cell.note != kNoNote ? 1 : 0) | (cell.instrument ? 2 : 0) | (cell.volume >= 0 ? 4 : 0) |
                             (command ? 8 : 0);
            if (!mask) continue;
            U8(data, (c + 1) | 0x80), U8(data, mask);
            if (mask & 1) U8(data, cell.note == kKeyOff ? 255 : cell.note + 12);
            if (mask & 2) U8(data, cell.instrument);
            if (mask & 4) U8(data, cell.volume);
            if (mask & 8) U8(data, command), U8(data, cell.param);
        }
        U8(data, 0);
    }
    return data;
}

Bytes WriteIT(const Tune& t, const std::vector<Sample>& samples) {
    Bytes b;
    Text(b, "IMPM", 4);
    Text(b, kTitle, 26);
    U16(b, 0x1004);  // row highlights
    U16(b, int(t.orders.size()) + 1), U16(b, 0), U16(b, int(samples.size())), U16(b, int(t.patterns.size()));
    U16(b, 0x0214), U16(b, 0x0214);  // made with and for IT 2.14
    U16(b, 1 | 8), U16(b, 0);        // stereo, linear slides; no message
    U8(b, 128), U8(b, 48), U8(b, 6), U8(b, 125), U8(b, 128), U8(b, 0);  // volumes, speed, tempo, separation
    U16(b, 0), U32(b, 0), U32(b, 0);
    for (int c = 0; c < 64; c++) U8(b, c < t.channels ? 16 + 32 * (c % 2) : 32 | 128);  // unused channels off
    for (int c = 0; c < 64; c++) U8(b, 64);
    for (int o : t.orders) U8(b, o);
    U8(b, 255);
    const size_t offsets = b.size();
    for (size_t k = 0; k < samples.size() + t.patterns.size(); k++) U32(b, 0);
    auto mark = [&](size_t k) {  // offset k is where the file is now
        for (int i = 0; i < 4; i++) b[offsets + 4 * k + size_t(i)] = uint8_t(b.size() >> (8 * i));
    };
    for (size_t i = 0; i < samples.size(); i++) {
        const Sample& s = samples[i];
        mark(i);
        Text(b, "IMPS", 4), Text(b, "", 13);
        U8(b, 64), U8(b, 1 | (s.loopLength ? 0x10 : 0) | (s.pingPong ? 0x40 : 0)), U8(b, s.volume);
        Text(b, s.name, 26);
        U8(b, 1), U8(b, 32);  // signed frames; no default panning
        U32(b, uint32_t(s.frames.size())), U32(b, uint32_t(s.loopStart)), U32(b, uint32_t(s.loopStart + s.loopLength));
        U32(b, 8363), U32(b, 0), U32(b, 0);
        U32(b, uint32_t(b.size() + 8)), U32(b, 0);  // the frames right after the header; no vibrato
        for (int8_t f : s.frames) U8(b, uint8_t(f));
    }
    for (size_t k = 0; k < t.patterns.size(); k++) {
        mark(samples.size() + k);
        const Bytes data = ITPattern(t, t.patterns[k]);
        U16(b, int(data.size())), U16(b, kRows), U32(b, 0);
        b.insert(b.end(), data.begin(), data.end());
    }
    return b;
}

bool Save(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string option = argc == 3 ? argv[1] : "";
    if (option == "--dense" || option == "--dense-filtered") {
        const Bytes bytes = option == "--dense" ? WriteXM(MakeDenseTune(), MakeDenseSamples())
                                                : WriteIT(MakeDenseFilteredTune(), MakeDenseSamples());
        if (Save(argv[2], bytes)) return 0;
        std::perror(argv[2]);
        return 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "Usage: moddeck-make-examples DIR | --dense FILE.xm | --dense-filtered FILE.it\n");
        return 2;
    }
    std::string dir = argv[1];
    Tune tune = MakeTune();
    std::vector<Sample> samples = MakeSamples();
    bool ok = Save(dir + "/moddeck-demo.xm", WriteXM(tune, samples)) &&
              Save(dir + "/moddeck-demo.s3m", WriteS3M(tune, samples)) &&
              Save(dir + "/moddeck-demo.mod", WriteMOD(tune, samples));
    if (!ok) {
        std::perror(dir.c_str());
        return 1;
    }
    return 0;
}
