// FastTracker 2 extended modules. The loader converts storage, not music:
// notes, finetunes, envelopes and effects are kept as the file gives them;
// packed cells are unpacked, byte counts become frames and delta-coded
// samples become plain 16-bit frames.
//
// A header is taken when it is plausible: it fits in the file, and the song
// has 1..256 orders, 1..32 channels, at most 256 patterns and 128
// instruments, and something to play (a pattern or an instrument).
//
// Bounds, since the file is never trusted:
// - more than 32 channels, more than 128 instruments or a song length above
//   256 cannot be held by the record: the file is rejected;
// - all patterns together may hold at most kCellBudget cells plus 64 per
//   byte of the file (a 9-byte header can ask for 65535 rows): beyond, the
//   file is rejected;
// - a pattern with packed data and 0 rows loads empty and its data is skipped;
// - a field announced in a packed cell after the packed data is used up
//   keeps its initial value;
// - an instrument cannot announce more samples than the bytes left could
//   describe (40 header bytes each), and a sample longer than the bytes
//   left is cut to what is there.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "loaders/commands.h"
#include "loaders/loaders.h"
#include "loaders/sample_data.h"
#include "song/reader.h"

namespace moddeck {

namespace {

constexpr int kXMMaxSongLength = 256;
constexpr int64_t kCellBudget = 1024 * 1024;
constexpr int64_t kCellsPerFileByte = 64;
constexpr int kSampleHeaderBytes = 40;
constexpr int kXMEnvelopePoints = 12;

int32_t ClampToInt32(uint32_t v) {
    return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

void ReadPackedCells(SNDMyFILE* r, ModPattern& p, int channels, uint32_t packed) {
    uint32_t c = 0;
    auto next = [&](uint8_t& field) {
        if (c < packed) {
            field = ReadU8(r);
            c++;
            return true;
        }
        return false;
    };
    for (int row = 0; row < p.nbRows && c < packed; row++) {
        for (int ch = 0; ch < channels && c < packed; ch++) {
            ModCell& cell = p.tracks[ch][row];
            uint8_t b = ReadU8(r);
            c++;
            // Without bit 7 the byte is the note and all four fields follow.
            uint8_t mask = (b & 0x80) ? b : 0x1E;
            // Note 0 is the empty note column of an unpacked cell.
            if (!(b & 0x80) && b != 0) cell.note = b;
            uint8_t v, command = 0, param = 0;
            if ((b & 0x80) && (mask & 0x01) && next(v) && v != 0) cell.note = v;
            if ((mask & 0x02) && next(v)) cell.instrument = v;
            if ((mask & 0x04) && next(v)) TranslateXMVolumeColumn(v, cell);
            if (mask & 0x08) next(command);
            if (mask & 0x10) next(param);
            TranslateTrackerCommand(command, param, true, cell);
        }
    }
    if (c < packed) ReaderSkip(r, packed - c);
}

// Format versions before 1.04 store the instruments' headers before the
// patterns and all sample data after them; 1.02 counts a pattern's rows in
// one byte, less one.
constexpr uint16_t kInstrumentsLastVersion = 0x0104, kByteRowsVersion = 0x0102;

bool ReadPatterns(SNDMyFILE* r, Mod* song, uint16_t version) {
    song->patterns = new ModPattern[song->nbPatterns]();
    int64_t budget = kCellBudget + kCellsPerFileByte * r->size;
    for (int i = 0; i < song->nbPatterns; i++) {
        ModPattern& p = song->patterns[i];
        uint32_t header = ReadU32(r);
        ReadU8(r);  // packing type
        const bool byteRows = version <= kByteRowsVersion;
        p.nbRows = byteRows ? ReadU8(r) + 1 : ReadU16(r);
        uint32_t packed = ReadU16(r);
        ReaderSkip(r, static_cast<int64_t>(header) - (byteRows ? 8 : 9));

        budget -= static_cast<int64_t>(p.nbRows) * song->nbChannels;
        if (budget < 0) return false;
        if (p.nbRows > 0) {
            for (int ch = 0; ch < song->nbChannels; ch++) {
                p.tracks[ch] = new ModCell[p.nbRows];
                for (int row = 0; row < p.nbRows; row++) p.tracks[ch][row] = ModCell{-1, 0, 0, VolumeEffect::None, 0, Effect::None, 0};
            }
        }
        if (song->nbChannels > 0 && p.nbRows > 0)
            ReadPackedCells(r, p, song->nbChannels, packed);
        else
            ReaderSkip(r, packed);
    }
    return true;
}

void ReadSampleHeader(SNDMyFILE* r, ModSample& s, uint32_t header_size) {
    uint32_t length = ReadU32(r);
    uint32_t loop_start = ReadU32(r);
    uint32_t loop_length = ReadU32(r);
    s.volume = ReadU8(r);
    s.finetune = static_cast<int8_t>(ReadU8(r));
    uint8_t type = ReadU8(r);
    s.panning = ReadU8(r);
    s.relativeNote = static_cast<int8_t>(ReadU8(r));
    ReadU8(r);  // reserved
    ReaderRead(r, s.name, 22);

    s.is16Bit = (type & 0x10) ? 1 : 0;
    if (s.is16Bit) {  // the file counts bytes; the record counts frames
        length >>= 1;
        loop_start >>= 1;
        loop_length >>= 1;
    }
    s.length = ClampToInt32(length);
    s.loopStart = ClampToInt32(loop_start);
    s.loopLength = ClampToInt32(loop_length);
    s.loopType = (type & 1) ? 1 : (type & 2) ? 2 : 0;
    ReaderSkip(r, static_cast<int64_t>(header_size) - kSampleHeaderBytes);
}

void ReadSampleData(SNDMyFILE* r, ModSample& s) {
    unsigned encoding = kSampleDelta | (s.is16Bit ? kSample16Bit : kSample8Bit);
    const int64_t declared = s.length;
    s.length = FramesAvailable(r, s.length, encoding);
    if (s.length > 0) {
        s.data = new int16_t[s.length];
        ReadSampleFrames(r, s.data, s.length, encoding);
    }
    // The next sample starts after the whole of this one, also when the
    // file is cut inside it.
    ReaderSkip(r, SampleBytes(declared - s.length, encoding));
}

// An instrument's header and its samples' headers; the sample data follows
// them, or (before 1.04) comes after the patterns.
void ReadInstrumentHeaders(SNDMyFILE* r, ModInstrument& ins) {
    uint32_t size = ReadU32(r);
    ReaderRead(r, ins.name, 22);
    ReadU8(r);  // type
    uint32_t n = ReadU16(r);
    ins.samples = nullptr;
    if (n == 0) {
        ins.nbSamples = 0;
        ReaderSkip(r, static_cast<int64_t>(size) - 29);
        return;
    }
    n = static_cast<uint32_t>(std::min<int64_t>(n, ReaderRemaining(r) / kSampleHeaderBytes));
    ins.nbSamples = static_cast<int32_t>(n);

    uint32_t sample_header_size = ReadU32(r);
    std::fill(std::begin(ins.noteSample), std::end(ins.noteSample), 0);
    for (int i = 0; i < 96; i++) ins.noteSample[i] = ReadU8(r);
    for (EnvelopePoint* points : {ins.volEnvelope, ins.panEnvelope})
        for (int k = 0; k < kXMEnvelopePoints; k++) {
            points[k].x = ReadU16(r);
            points[k].y = static_cast<int16_t>(ReadU16(r));
        }
    ins.nbVolPoints = std::min<int32_t>(ReadU8(r), kXMEnvelopePoints);
    ins.nbPanPoints = std::min<int32_t>(ReadU8(r), kXMEnvelopePoints);
    ins.volSustain = ins.volSustainEnd = ReadU8(r);
    ins.volLoopStart = ReadU8(r);
    ins.volLoopEnd = ReadU8(r);
    ins.panSustain = ins.panSustainEnd = ReadU8(r);
    ins.panLoopStart = ReadU8(r);
    ins.panLoopEnd = ReadU8(r);
    ins.volType = ReadU8(r);
    ins.panType = ReadU8(r);
    ins.vibType = ReadU8(r);
    ins.vibSweep = ReadU8(r);
    ins.vibDepth = ReadU8(r);
    ins.vibRate = ReadU8(r);
    ins.fadeout = ReadU16(r);
    ReadU16(r);  // reserved
    ReaderSkip(r, static_cast<int64_t>(size) - 243);

    if (n == 0) return;  // the file ended before its sample headers
    ins.samples = new ModSample[n]();
    for (uint32_t j = 0; j < n; j++) ReadSampleHeader(r, ins.samples[j], sample_header_size);
}

void ReadInstrumentData(SNDMyFILE* r, ModInstrument& ins) {
    for (int32_t j = 0; j < ins.nbSamples && ins.samples; j++) ReadSampleData(r, ins.samples[j]);
}

}  // namespace

namespace {

void ReadInstruments(SNDMyFILE* r, Mod* song, bool withData) {
    for (int i = 1; i <= song->nbInstruments; i++) {
        ReadInstrumentHeaders(r, song->instruments[i]);
        if (withData) ReadInstrumentData(r, song->instruments[i]);
    }
}

// Header fields the plausibility check and the reader share.
struct XMHeader {
    uint32_t size;
    int32_t songLength, restartPos, channels, patterns, instruments, flags, speed, bpm;
};

// Reads the header fields after the title, tracker name and version.
XMHeader ReadXMHeader(SNDMyFILE* r) {
    XMHeader h;
    h.size = ReadU32(r);
    h.songLength = ReadU16(r);
    h.restartPos = ReadU16(r);
    h.channels = ReadU16(r);
    h.patterns = ReadU16(r);
    h.instruments = ReadU16(r);
    h.flags = ReadU16(r);
    h.speed = ReadU16(r);
    h.bpm = ReadU16(r);
    return h;
}

constexpr int64_t kHeaderStart = 60, kHeaderFields = 20, kMaxPatterns = 256;
constexpr int kTitleOffset = 17, kTrackerBytes = 20;

bool Plausible(const XMHeader& h, int64_t fileSize) {
    return h.size >= kHeaderFields && kHeaderStart + h.size <= fileSize && h.songLength >= 1 &&
           h.songLength <= kXMMaxSongLength && h.channels >= 1 && h.channels <= kClassicMaxChannels &&
           h.patterns <= kMaxPatterns && h.instruments <= kMaxInstruments && h.patterns + h.instruments > 0;
}

// The tracker name field, without the spaces that pad it.
void ReadTrackerName(SNDMyFILE* r, char* out) {
    ReaderRead(r, out, kTrackerBytes);
    for (int n = kTrackerBytes; n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\0'); n--) out[n - 1] = '\0';
}

}  // namespace

bool PlausibleXMHeader(const SNDMyFILE& file) {
    SNDMyFILE r = file;
    ReaderSkip(&r, kHeaderStart);
    return Plausible(ReadXMHeader(&r), r.size);
}

bool ReadXMSong(Mod* song, SNDMyFILE* r) {
    if (!PlausibleXMHeader(*r)) return false;
    ReaderSkip(r, kTitleOffset);  // "Extended Module: "
    song->isXM = 1;
    song->isS3M = 0;
    song->behaviour = BehaviourOf(FileFormat::XM);
    ReaderRead(r, song->title, 20);
    ReaderSkip(r, 1);  // separator
    ReadTrackerName(r, song->tracker);
    const uint16_t version = ReadU16(r);
    const XMHeader h = ReadXMHeader(r);
    song->songLength = h.songLength;
    song->restartPos = h.restartPos;
    song->nbChannels = song->declaredChannels = h.channels;
    song->nbPatterns = h.patterns;
    song->nbInstruments = h.instruments;
    song->linearFreq = h.flags & 1;
    song->speed = h.speed;
    song->bpm = h.bpm;

    // The order table fills the rest of the header; the record keeps 256.
    int64_t order_bytes = static_cast<int64_t>(h.size) - kHeaderFields;
    uint8_t orders[256] = {};
    ReaderRead(r, orders, static_cast<size_t>(std::clamp<int64_t>(order_bytes, 0, 256)));
    for (int i = 0; i < 256; i++) song->orders[i] = orders[i];
    ReaderSkip(r, order_bytes - 256);

    const bool headersFirst = version < kInstrumentsLastVersion;
    if (headersFirst) ReadInstruments(r, song, false);
    if (!ReadPatterns(r, song, version)) return false;
    r->patternsEnd = r->reach;
    if (!headersFirst) ReadInstruments(r, song, true);
    for (int i = 1; headersFirst && i <= song->nbInstruments; i++) ReadInstrumentData(r, song->instruments[i]);
    return true;
}

}  // namespace moddeck
