// Impulse Tracker modules. The loader converts storage: samples, packed
// or not, become 16-bit mono frames in the song's slots 1..99; patterns are
// unpacked into cells; effect letters and the volume column are translated
// into the player's own effects; instruments keep their note maps, which
// name those slots. What the header's flags change is the song's Behaviour.
//
// A header is taken when it starts with "IMPM", has something to play (a
// sample or a pattern) and its order list and offset tables fit in the file.
//
// Bounds, since the file is never trusted:
// - at most 99 instruments and 99 samples (the tracker's own limits) and
//   254 patterns (an order byte names no more) are read (an order naming a
//   pattern past the file's count plays 64 empty rows); the offsets of the
//   rest are skipped, so that the tables after them are read from the right
//   place;
// - an offset past the end of the file gives an empty instrument, sample
//   or pattern (64 empty rows);
// - a sample holds no more frames than the bytes after its offset can
//   carry (one bit a frame when packed), and all samples together at most
//   8 frames per byte of the file, so headers pointed at the same data
//   cannot make the loader hold more than a real file could;
// - a pattern has 1..200 rows and is read from at most its packed length
//   of bytes; a cell cut by the end of the data is dropped, and a channel
//   is given its cells only when a cell names it, within a budget of 1M
//   cells plus 64 per byte of the file (offsets may point many patterns at
//   one); past it further channels stay empty;
// - the song message is read up to its length, at most 8000 bytes.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "loaders/commands.h"
#include "loaders/it_instruments.h"
#include "loaders/it_samples.h"
#include "loaders/loaders.h"
#include "loaders/sample_data.h"

namespace moddeck {

namespace {

constexpr int kMaxSlots = 99;
constexpr int kMaxPatterns = 254;
constexpr int kMaxRows = 200;
constexpr int kEmptyPatternRows = 64;
constexpr int kMaxMessageBytes = 8000;
constexpr int64_t kHeaderBytes = 0xC0;
constexpr int64_t kFramesPerFileByte = 8;
constexpr int64_t kCellBudget = 1 << 20, kCellsPerFileByte = 64;
constexpr uint16_t kNewInstrumentsVersion = 0x200;
constexpr uint8_t kOrderEnd = 255;
constexpr uint16_t kSpecialMessage = 1;

// The counts and versions of the header, from offset 0x20.
struct ITHeader {
    uint16_t orders, instruments, samples, patterns, createdWith, compatibleWith, flags, special;
};

ITHeader ReadCounts(SNDMyFILE* r) {
    ITHeader h;
    for (uint16_t* field : {&h.orders, &h.instruments, &h.samples, &h.patterns, &h.createdWith,
                            &h.compatibleWith, &h.flags, &h.special})
        *field = ReadU16(r);
    return h;
}

// Reads `count` 32-bit offsets; the first `keep` go to dst, the rest are
// skipped.
std::vector<uint32_t> ReadOffsets(SNDMyFILE* r, int count, int keep) {
    std::vector<uint32_t> offsets(static_cast<size_t>(std::min(count, keep)));
    for (uint32_t& offset : offsets) offset = ReadU32(r);
    ReaderSkip(r, 4 * static_cast<int64_t>(count - static_cast<int>(offsets.size())));
    return offsets;
}

// What saved the file, from its version word: Impulse Tracker itself
// (2.14 and its patches count up from 0x214), or trackers that write their
// own marks there; "" when the word names none of them.
void NameTracker(uint16_t createdWith, uint16_t compatibleWith, char* out, size_t size) {
    const unsigned major = (createdWith >> 8) & 0xF, minor = createdWith & 0xFF;
    switch (createdWith >> 12) {
        case 0:
            // This version pair is what the early ModPlug trackers wrote.
            if (createdWith == 0x217 && compatibleWith == 0x200)
                std::snprintf(out, size, "ModPlug Tracker");
            else if (createdWith > 0x214 && createdWith < 0x220)
                std::snprintf(out, size, "Impulse Tracker 2.14p%u", createdWith - 0x214u);
            else
                std::snprintf(out, size, "Impulse Tracker %X.%02X", major, minor);
            break;
        case 1: std::snprintf(out, size, "Schism Tracker"); break;
        case 5: std::snprintf(out, size, "OpenMPT %X.%02X", major, minor); break;
        default: break;
    }
}

// Channel pans 0 (left) .. 64 (right), 100 surround, played in the centre;
// bit 7 mutes the channel, which the record keeps as a channel volume of 0.
void ReadChannels(SNDMyFILE* r, Mod* song) {
    uint8_t pans[kMaxChannels], volumes[kMaxChannels];
    ReaderRead(r, pans, sizeof pans);
    ReaderRead(r, volumes, sizeof volumes);
    for (int ch = 0; ch < kMaxChannels; ch++) {
        const int pan = pans[ch] & 0x7F;
        song->channelPan[ch] = pan <= 64 ? 1.0f - static_cast<float>(pan) / 64.0f : 0.5f;
        song->channelVolume[ch] = (pans[ch] & 0x80) ? 0 : std::min<int>(volumes[ch], 64);
    }
}

// The order list up to its end marker; skip markers (254) stay, which the
// sequencer passes over, as no pattern has that number.
void ReadOrders(SNDMyFILE* r, Mod* song, int count) {
    song->songLength = 0;
    for (int i = 0; i < count; i++) {
        const uint8_t order = ReadU8(r);
        if (order == kOrderEnd) break;
        if (i < kMaxOrders) song->orders[i] = order, song->songLength = i + 1;
    }
}

// The message: carriage returns end its lines; it ends at its length or
// at a zero byte.
void ReadMessage(SNDMyFILE* r, Mod* song, int length, uint32_t offset) {
    const SNDMyFILE start = *r;
    ReaderSeek(r, offset);
    const int bytes = static_cast<int>(std::min<int64_t>({length, kMaxMessageBytes, ReaderRemaining(r)}));
    song->message = new char[static_cast<size_t>(bytes) + 1]();
    ReaderRead(r, song->message, static_cast<size_t>(bytes));
    for (int i = 0; i < bytes; i++)
        if (song->message[i] == '\r') song->message[i] = '\n';
    *r = start;
}

// Sample header flags and conversion bits.
constexpr uint8_t kHasData = 1, k16Bit = 2, kStereo = 4, kPacked = 8, kLoop = 0x10, kSustainLoop = 0x20,
                  kPingPongLoop = 0x40, kPingPongSustain = 0x80;
constexpr uint8_t kSigned = 1, kDelta = 4;

// A loop within the sample: its type (0 none, 1 forward, 2 ping-pong) and
// its frames, or none when it holds no frame.
void SetLoop(const ModSample& s, uint32_t begin, uint32_t end, bool on, bool pingPong, int32_t& start,
             int32_t& length, int32_t& type) {
    const int64_t from = std::min<int64_t>(begin, s.length), to = std::min<int64_t>(end, s.length);
    const bool loops = on && to > from;
    start = loops ? static_cast<int32_t>(from) : 0;
    length = loops ? static_cast<int32_t>(to - from) : 0;
    type = loops ? (pingPong ? 2 : 1) : 0;
}

// A packed sample: a stereo one packs its left channel, then its right,
// which are averaged.
void UnpackFrames(SNDMyFILE* r, ModSample& s, bool it215) {
    UnpackITSample(r, s.data, s.length, s.is16Bit, it215);
    if (!s.stereo) return;
    std::vector<int16_t> right(static_cast<size_t>(s.length));
    UnpackITSample(r, right.data(), s.length, s.is16Bit, it215);
    for (int32_t i = 0; i < s.length; i++) s.data[i] = static_cast<int16_t>((s.data[i] + right[i]) / 2);
}

// The sample's frames at the reader's position, within the frame budget.
void ReadFrames(SNDMyFILE* r, ModSample& s, uint8_t flags, uint8_t convert, int64_t& budget) {
    const bool packed = flags & kPacked;
    unsigned encoding = (s.is16Bit ? kSample16Bit : kSample8Bit) | (s.stereo ? kSampleStereo : 0u);
    if (!packed && (convert & kDelta)) encoding |= kSampleDelta;
    if (!(convert & kSigned)) encoding |= kSampleUnsigned;
    const int64_t wanted = std::min<int64_t>(s.length, budget);
    s.length = packed ? std::min(PackedFramesAvailable(r, wanted), static_cast<int32_t>(wanted))
                      : FramesAvailable(r, wanted, encoding);
    budget -= s.length;
    if (s.length <= 0) return;
    s.data = new int16_t[static_cast<size_t>(s.length)]();
    if (packed) return UnpackFrames(r, s, convert & kDelta);
    ReadSampleFrames(r, s.data, s.length, encoding);
}

// One "IMPS" sample header and its data.
void ReadSample(SNDMyFILE* r, ModSample& s, int64_t& budget) {
    ReaderSkip(r, 4 + 12 + 1);  // "IMPS", file name, pad
    s.globalVolume = std::min<int32_t>(ReadU8(r), 64);
    const uint8_t flags = ReadU8(r);
    s.volume = std::min<int32_t>(ReadU8(r), 64);
    ReaderRead(r, s.name, 26);
    const uint8_t convert = ReadU8(r), pan = ReadU8(r);
    s.setsPanning = (pan & 0x80) != 0;
    s.panning = std::min((pan & 0x7F) * 4, 255);
    const uint32_t length = ReadU32(r), loopBegin = ReadU32(r), loopEnd = ReadU32(r), rate = ReadU32(r),
                   sustainBegin = ReadU32(r), sustainEnd = ReadU32(r), dataOffset = ReadU32(r);
    // The tracker's vibrato: speed, depth, the ticks it takes to reach its
    // depth, waveform.
    s.vibRate = ReadU8(r);
    s.vibDepth = ReadU8(r);
    s.vibSweep = ReadU8(r);
    s.vibType = ReadU8(r) & 3;
    s.c2spd = rate == 0 ? 8363 : static_cast<int32_t>(std::min<uint32_t>(rate, 9999999));
    s.is16Bit = (flags & k16Bit) != 0;
    s.stereo = (flags & kStereo) != 0;
    s.length = (flags & kHasData) ? static_cast<int32_t>(std::min<uint32_t>(length, INT32_MAX)) : 0;
    ReaderSeek(r, dataOffset);
    ReadFrames(r, s, flags, convert, budget);
    SetLoop(s, loopBegin, loopEnd, flags & kLoop, flags & kPingPongLoop, s.loopStart, s.loopLength, s.loopType);
    SetLoop(s, sustainBegin, sustainEnd, flags & kSustainLoop, flags & kPingPongSustain, s.sustainStart,
            s.sustainLength, s.sustainType);
}

constexpr ModCell kEmptyCell{-1, 0, 0, VolumeEffect::None, 0, Effect::None, 0};

// Note bytes: 0..119 notes, 255 note off, 254 note cut, the rest fade.
int16_t NoteOf(uint8_t b) {
    if (b < kNoteMapSize) return b;
    if (b == 255) return kCellNoteOff;
    if (b == 254) return kCellNoteCut;
    return kCellNoteFade;
}

// What each channel's cells last held: a cell may say "as before" for each
// of its four parts, and its mask may be the channel's last one.
struct ChannelMemory {
    uint8_t mask = 0, note = 0, instrument = 0, volume = 0, command = 0, param = 0;
};

// The bytes of one pattern's packed data, read a byte at a time; past the
// end every read fails.
struct PackedBytes {
    const uint8_t* data;
    int size, pos = 0;
    bool Next(uint8_t& b) {
        if (pos >= size) return false;
        b = data[pos++];
        return true;
    }
};

constexpr uint8_t kMaskNote = 1, kMaskInstrument = 2, kMaskVolume = 4, kMaskCommand = 8, kMaskLastNote = 16,
                  kMaskLastInstrument = 32, kMaskLastVolume = 64, kMaskLastCommand = 128;

// Reads the parts of one cell the mask announces into the channel's
// memory; false when the data ends inside it.
bool ReadCellParts(PackedBytes& in, uint8_t mask, ChannelMemory& m) {
    if ((mask & kMaskNote) && !in.Next(m.note)) return false;
    if ((mask & kMaskInstrument) && !in.Next(m.instrument)) return false;
    if ((mask & kMaskVolume) && !in.Next(m.volume)) return false;
    if ((mask & kMaskCommand) && !(in.Next(m.command) && in.Next(m.param))) return false;
    return true;
}

ModCell CellOf(uint8_t mask, const ChannelMemory& m) {
    ModCell cell = kEmptyCell;
    if (mask & (kMaskNote | kMaskLastNote)) cell.note = NoteOf(m.note);
    if (mask & (kMaskInstrument | kMaskLastInstrument)) cell.instrument = m.instrument;
    if (mask & (kMaskVolume | kMaskLastVolume)) TranslateITVolumeColumn(m.volume, cell);
    if (mask & (kMaskCommand | kMaskLastCommand)) TranslateITCommand(m.command, m.param, cell);
    return cell;
}

// The channel's cells, made at its first cell while the budget lasts.
ModCell* TrackOf(ModPattern& p, int ch, int64_t& budget) {
    if (!p.tracks[ch] && budget >= p.nbRows) {
        budget -= p.nbRows;
        p.tracks[ch] = new ModCell[static_cast<size_t>(p.nbRows)];
        std::fill(p.tracks[ch], p.tracks[ch] + p.nbRows, kEmptyCell);
    }
    return p.tracks[ch];
}

// Unpacks one pattern: a channel byte (0 ends the row; bit 7: a new mask
// follows), then the parts its mask announces.
void UnpackPattern(PackedBytes in, ModPattern& p, int& channels, int64_t& budget) {
    ChannelMemory memory[kMaxChannels];
    uint8_t b = 0;
    for (int row = 0; row < p.nbRows && in.Next(b);) {
        if (b == 0) {
            row++;
            continue;
        }
        const int ch = (b - 1) & (kMaxChannels - 1);
        ChannelMemory& m = memory[ch];
        if ((b & 0x80) && !in.Next(m.mask)) break;
        if (!ReadCellParts(in, m.mask, m)) break;
        ModCell* track = TrackOf(p, ch, budget);
        if (!track) continue;
        track[row] = CellOf(m.mask, m);
        channels = std::max(channels, ch + 1);
    }
}

// The pattern at `offset`: its packed length, its rows, four reserved
// bytes, the packed cells. Offset 0 is an empty pattern of 64 rows.
void ReadPattern(SNDMyFILE* r, uint32_t offset, ModPattern& p, int& channels, int64_t& budget) {
    p.nbRows = kEmptyPatternRows;
    if (offset == 0) return;
    ReaderSeek(r, offset);
    const uint16_t length = ReadU16(r);
    p.nbRows = std::clamp<int>(ReadU16(r), 1, kMaxRows);
    ReaderSkip(r, 4);
    ReaderDeclare(r, r->pos + length);  // a cut file shows by it
    std::vector<uint8_t> packed(length);
    const size_t got = ReaderRead(r, packed.data(), length);
    UnpackPattern(PackedBytes{packed.data(), static_cast<int>(got)}, p, channels, budget);
}

// The header after its counts: volumes, speed, tempo and separation, the
// message's place, the channels and the order list.
void ReadSongHeader(SNDMyFILE* r, Mod* song, const ITHeader& h) {
    song->itFlags = h.flags;
    song->itSpecial = h.special;
    song->itCreatedWith = h.createdWith;
    song->itCompatibleWith = h.compatibleWith;
    NameTracker(h.createdWith, h.compatibleWith, song->tracker, sizeof song->tracker);
    song->behaviour = BehaviourOf(FileFormat::IT, h.flags, ITTrackerOf(h.createdWith, h.compatibleWith));
    song->linearFreq = (h.flags & kITLinearSlides) != 0;
    song->itGlobalVolume = std::min<int>(ReadU8(r), 128);
    song->itMixVolume = std::min<int>(ReadU8(r), 128);
    const uint8_t speed = ReadU8(r), tempo = ReadU8(r);
    song->speed = speed ? speed : 6;
    song->bpm = tempo >= 32 ? tempo : 125;
    song->itSeparation = std::min<int>(ReadU8(r), 128);
    ReaderSkip(r, 1);  // pitch wheel depth
    const uint16_t messageLength = ReadU16(r);
    const uint32_t messageOffset = ReadU32(r);
    ReaderSkip(r, 4);
    ReadChannels(r, song);
    ReadOrders(r, song, h.orders);
    if (h.special & kSpecialMessage) ReadMessage(r, song, messageLength, messageOffset);
}

// Instruments count only when the cells name them.
void ReadInstruments(SNDMyFILE* r, Mod* song, const std::vector<uint32_t>& offsets, bool newFormat) {
    if (!song->behaviour.instruments) return;
    song->nbInstruments = static_cast<int32_t>(offsets.size());
    for (size_t i = 0; i < offsets.size(); i++) {
        ReaderSeek(r, offsets[i]);
        ReadITInstrument(r, song->instruments[i + 1], newFormat);
    }
}

void ReadSamples(SNDMyFILE* r, Mod* song, const std::vector<uint32_t>& offsets) {
    int64_t budget = kFramesPerFileByte * r->size;
    song->nbSamples = static_cast<int32_t>(offsets.size());
    for (size_t i = 0; i < offsets.size(); i++) {
        ReaderSeek(r, offsets[i]);
        ReadSample(r, song->samples[i + 1], budget);
    }
}

// The patterns, with their own reach: where a cut file ends inside them.
// The tracker leaves out the empty patterns after the last one that holds
// a cell, which the orders may still name: they play 64 empty rows.
void ReadPatterns(SNDMyFILE* r, Mod* song, const std::vector<uint32_t>& offsets) {
    int named = 0;
    for (int i = 0; i < song->songLength; i++)
        if (song->orders[i] < kMaxPatterns) named = std::max(named, song->orders[i] + 1);
    song->nbPatterns = std::max(static_cast<int32_t>(offsets.size()), named);
    song->patterns = new ModPattern[static_cast<size_t>(song->nbPatterns)]();
    for (int p = static_cast<int>(offsets.size()); p < song->nbPatterns; p++) song->patterns[p].nbRows = kEmptyPatternRows;
    const int64_t samplesReach = r->reach;
    r->reach = 0;
    int channels = 1;
    int64_t cells = kCellBudget + kCellsPerFileByte * r->size;
    for (size_t p = 0; p < offsets.size(); p++) ReadPattern(r, offsets[p], song->patterns[p], channels, cells);
    r->patternsEnd = r->reach;
    ReaderDeclare(r, samplesReach);
    song->nbChannels = song->declaredChannels = channels;
}

}  // namespace

bool PlausibleITHeader(const SNDMyFILE& file) {
    SNDMyFILE r = file;
    uint8_t magic[4];
    ReaderRead(&r, magic, 4);
    ReaderSeek(&r, 0x20);
    const ITHeader h = ReadCounts(&r);
    const int64_t tables = kHeaderBytes + h.orders + 4 * (int64_t{h.instruments} + h.samples + h.patterns);
    return std::memcmp(magic, "IMPM", 4) == 0 && h.samples + h.patterns > 0 && tables <= r.size;
}

bool ReadITSong(Mod* song, SNDMyFILE* r) {
    if (!PlausibleITHeader(*r)) return false;
    song->isIT = 1;
    ReaderSkip(r, 4);
    ReaderRead(r, song->title, 26);
    ReaderSeek(r, 0x20);
    const ITHeader h = ReadCounts(r);
    ReadSongHeader(r, song, h);
    ReaderSeek(r, kHeaderBytes + h.orders);
    const std::vector<uint32_t> instruments = ReadOffsets(r, h.instruments, kMaxSlots);
    const std::vector<uint32_t> samples = ReadOffsets(r, h.samples, kMaxSlots);
    const std::vector<uint32_t> patterns = ReadOffsets(r, h.patterns, kMaxPatterns);
    ReadInstruments(r, song, instruments, h.compatibleWith >= kNewInstrumentsVersion);
    ReadSamples(r, song, samples);
    ReadPatterns(r, song, patterns);
    return true;
}

}  // namespace moddeck
