// Scream Tracker 3 modules. Everything is converted here so that the player
// needs no S3M file knowledge beyond the effect letters: samples become
// 16-bit frames and notes octave * 12 + semitone; each sample keeps its
// middle-C rate, from which the player works out its periods.
//
// A header is taken when its counts are plausible: at least one order, no
// negative count, something to play (a sample or a pattern), and the order
// list and parapointer tables within the file.
//
// Bounds, since the file is never trusted (the counts are signed 16-bit): orders keep at most 4096 entries, instruments
//   at most 255 (sample slots 1..255) of at most 512 stored parapointers,
//   patterns at most 513; parapointers beyond what is stored are skipped so
//   that the lists after them are still read from the right place;
// - a parapointer past the end of the file gives an empty pattern (64 empty
//   rows) or an empty sample (length 0, no data);
// - a sample is cut to the bytes left after its data parapointer, and all
//   samples together hold at most one frame per byte of the file: samples of
//   a sound file never overlap, so only a hostile file that points many
//   headers at the same data is cut;
// - a pattern is read from at most the bytes that 64 rows of 32 full events
//   take, and ends where the data ends; an event cut by the end is dropped.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "loaders/commands.h"
#include "loaders/loaders.h"
#include "loaders/sample_data.h"
#include "song/periods.h"
#include "song/reader.h"

namespace moddeck {

namespace {

constexpr int kRows = 64;
constexpr int kMaxSamples = kSampleSlots - 1;
constexpr int kMaxInstrumentPointers = 512;
constexpr int kMaxPatternPointers = 513;
constexpr int kParagraph = 16;
// The longest packed pattern a tracker can write: 64 rows of 32 events of
// 6 bytes, each row closed by a zero byte.
constexpr int kMaxPackedPattern = kRows * (kClassicMaxChannels * 6 + 1);

constexpr uint8_t kNoNote = 255;

// Reads `count` little-endian words; the first `keep` go to dst, the rest
// are skipped.
void ReadParapointers(SNDMyFILE* r, uint16_t* dst, int count, int keep) {
    for (int i = 0; i < count && i < keep; i++) dst[i] = ReadU16(r);
    if (count > keep) ReaderSkip(r, 2 * static_cast<int64_t>(count - keep));
}

constexpr uint8_t kPanTableMarker = 252;
constexpr uint8_t kPanEntrySet = 0x20;

// The pan of each channel, as the share sent left. A mono song plays every
// channel in the centre. Otherwise the pan table, when the file has one,
// places each channel whose entry is marked (0 left .. 15 right); the
// other channels follow their setting as the tracker placed them: every
// left channel (L1..L8) at 3 of 15, every right one at 12 of 15.
void SetChannelPans(Mod* song, const uint8_t* panTable, bool hasPanTable) {
    const bool stereo = song->s3mHeader[3] & 0x80;
    constexpr float kLeftSide = 3, kRightSide = 12;
    for (int ch = 0; ch < kClassicMaxChannels; ch++) {
        const int c = song->channelSettings[ch] & 0x7F;
        float position = 7.5f;  // the centre: channels of neither side
        if (hasPanTable && (panTable[ch] & kPanEntrySet))
            position = static_cast<float>(panTable[ch] & 0x0F);
        else if (c < 16)
            position = c < 8 ? kLeftSide : kRightSide;
        song->channelPan[ch] = stereo ? 1.0f - position / 15.0f : 0.5f;
    }
}

constexpr uint8_t kChannelUnused = 255;

// The channels the header lists: up to the last one it does not mark
// unused, those it mutes (bit 7) included, as trackers number their
// columns. A header that lists none leaves the patterns' own count.
int DeclaredChannels(const Mod& song) {
    for (int ch = kClassicMaxChannels; ch > 0; ch--)
        if (song.channelSettings[ch - 1] != kChannelUnused) return ch;
    return song.nbChannels;
}

void ReadSampleHeader(SNDMyFILE* r, ModSample& s, int64_t& frame_budget) {
    ReaderSkip(r, 1 + 12);  // type, file name
    uint32_t para_high = ReadU8(r);
    uint32_t para_low = ReadU16(r);
    uint32_t length = ReadU32(r);
    uint32_t loop_begin = ReadU32(r);
    uint32_t loop_end = ReadU32(r);
    s.volume = ReadU8(r);
    ReaderSkip(r, 2);  // reserved, packing scheme: data is always unpacked
    uint8_t flags = ReadU8(r);
    s.c2spd = static_cast<int32_t>(ReadU32(r));
    ReaderSkip(r, 12);
    ReaderRead(r, s.name, 28);

    s.fileOffset = static_cast<int32_t>(((para_high << 16) + para_low) * kParagraph);
    s.loopOn = flags & 1;
    s.stereo = (flags >> 1) & 1;
    s.is16Bit = (flags >> 2) & 1;
    s.length = static_cast<int32_t>(std::min<uint32_t>(length, INT32_MAX));
    s.loopStart = static_cast<int32_t>(std::min<uint32_t>(loop_begin, INT32_MAX));
    // An end before the begin is no loop rather than a negative length.
    int64_t loop_length = static_cast<int64_t>(loop_end) - loop_begin;
    s.loopLength = s.loopOn ? static_cast<int32_t>(std::clamp<int64_t>(loop_length, 0, INT32_MAX)) : 0;

    ReaderSeek(r, s.fileOffset);
    unsigned encoding = kSampleS3M | (s.is16Bit ? kSample16Bit : kSample8Bit);
    if (s.stereo) encoding |= kSampleStereo;
    s.length = FramesAvailable(r, std::min<int64_t>(s.length, frame_budget), encoding);
    frame_budget -= s.length;
    if (s.length == 0) return;
    s.data = new int16_t[s.length];
    ReadSampleFrames(r, s.data, s.length, encoding);
}

void ClearPattern(ModPattern& p) {
    p.nbRows = kRows;
    for (ModCell*& track : p.tracks) {
        track = new ModCell[kRows];
        std::fill(track, track + kRows, ModCell{-1, 0, 0, VolumeEffect::None, 0, Effect::None, 0});
    }
}

// Unpacks one pattern's events from `bytes`.
void UnpackPattern(const uint8_t* bytes, int size, Mod* song, ModPattern& p) {
    int pos = 0;
    int row = 0;
    while (row < kRows && pos < size) {
        uint8_t w = bytes[pos];
        if (w == 0) {
            row++;
            pos++;
            continue;
        }
        int need = 1 + ((w & 0x20) ? 2 : 0) + ((w & 0x40) ? 1 : 0) + ((w & 0x80) ? 2 : 0);
        if (pos + need > size) break;  // an event cut by the end of the data
        const uint8_t* b = bytes + pos + 1;
        pos += need;

        // Channel 31 is a channel like any other: only a zero byte ends a row.
        int ch = w & 31;
        song->nbChannels = std::max(song->nbChannels, ch + 1);
        ModCell& cell = p.tracks[ch][row];
        if (w & 0x20) {
            const uint8_t n = *b++;
            cell.instrument = *b++;
            if (n != kNoNote) cell.note = static_cast<int16_t>((n >> 4) * 12 + (n & 15));
        }
        if (w & 0x40) TranslateS3MVolume(*b++, cell);
        if (w & 0x80) {
            const uint8_t letter = *b++;
            TranslateS3MCommand(letter, *b++, cell);
        }
    }
}

}  // namespace

namespace {

// The counts of the header, signed 16-bit in the file.
struct S3MCounts {
    int orders, instruments, patterns;
};

S3MCounts ReadCounts(SNDMyFILE* r) {
    S3MCounts c;
    c.orders = static_cast<int16_t>(ReadU16(r));
    c.instruments = static_cast<int16_t>(ReadU16(r));
    c.patterns = static_cast<int16_t>(ReadU16(r));
    return c;
}

constexpr int64_t kCountsOffset = 32, kHeaderBytes = 96;

// The tracker the version word names: its high nibble the tracker, the rest
// its version in hexadecimal digits.
void NameTracker(uint16_t version, char* out, size_t size) {
    const char* tracker = nullptr;
    switch (version >> 12) {
        case 1: tracker = "Scream Tracker"; break;
        case 2: tracker = "Imago Orpheus"; break;
        case 3: tracker = "Impulse Tracker"; break;
        case 4: tracker = "Schism Tracker"; break;
        case 5: tracker = "OpenMPT"; break;
        default: return;
    }
    std::snprintf(out, size, "%s %X.%02X", tracker, (version >> 8) & 0xF, version & 0xFF);
}

}  // namespace

bool PlausibleS3MHeader(const SNDMyFILE& file) {
    SNDMyFILE r = file;
    ReaderSkip(&r, kCountsOffset);
    const S3MCounts c = ReadCounts(&r);
    return c.orders >= 1 && c.instruments >= 0 && c.patterns >= 0 && c.instruments + c.patterns > 0 &&
           kHeaderBytes + c.orders + 2 * (c.instruments + c.patterns) <= r.size;
}

bool ReadS3MSong(Mod* song, SNDMyFILE* r) {
    if (!PlausibleS3MHeader(*r)) return false;
    song->isS3M = 1;

    ReaderRead(r, song->title, 28);
    ReaderSkip(r, 4);  // end-of-text byte, file type, reserved
    const S3MCounts counts = ReadCounts(r);
    const int order_count = counts.orders, instrument_count = counts.instruments, pattern_count = counts.patterns;
    song->s3mFlags = ReadU16(r);
    song->s3mTracker = ReadU16(r);
    NameTracker(song->s3mTracker, song->tracker, sizeof song->tracker);
    song->behaviour = BehaviourOf(FileFormat::S3M, song->s3mFlags, song->s3mTracker);
    ReaderSkip(r, 2 + 4);  // sample format, "SCRM"
    ReaderRead(r, song->s3mHeader, 6);
    song->speed = song->s3mHeader[1];
    song->bpm = song->s3mHeader[2];
    song->linearFreq = 0;
    ReaderSkip(r, 8 + 2);  // reserved, special pointer
    ReaderRead(r, song->channelSettings, kClassicMaxChannels);

    // Orders keep the format's markers (254 skip, 255 end); the player
    // steps over them.
    song->songLength = std::min(order_count, kMaxOrders);
    for (int i = 0; i < song->songLength; i++) song->orders[i] = ReadU8(r);
    ReaderSkip(r, order_count - song->songLength);
    ReadParapointers(r, song->instrumentOffsets, instrument_count, kMaxInstrumentPointers);
    ReadParapointers(r, song->patternOffsets, pattern_count, kMaxPatternPointers);
    song->nbInstruments = std::min(instrument_count, kMaxSamples);
    song->nbPatterns = std::min(pattern_count, kMaxPatternPointers);
    // The pan table follows the parapointers (those skipped included).
    uint8_t panTable[kClassicMaxChannels];
    ReaderRead(r, panTable, sizeof panTable);
    SetChannelPans(song, panTable, song->s3mHeader[5] == kPanTableMarker);

    int64_t frame_budget = r->size;
    for (int i = 0; i < song->nbInstruments; i++) {
        ReaderSeek(r, static_cast<int64_t>(song->instrumentOffsets[i]) * kParagraph);
        ReadSampleHeader(r, song->samples[i + 1], frame_budget);
    }

    song->patterns = new ModPattern[song->nbPatterns]();
    song->nbChannels = 0;
    std::vector<uint8_t> packed(kMaxPackedPattern);
    const int64_t samplesReach = r->reach;
    r->reach = 0;  // the patterns' own reach, wherever they lie
    for (int p = 0; p < song->nbPatterns; p++) {
        ClearPattern(song->patterns[p]);
        ReaderSeek(r, static_cast<int64_t>(song->patternOffsets[p]) * kParagraph);
        // The packed length: the events end the pattern themselves, but a
        // cut file shows by it.
        const int64_t start = r->pos;
        ReaderDeclare(r, start + ReadU16(r));
        int size = static_cast<int>(std::min<int64_t>(ReaderRemaining(r), kMaxPackedPattern));
        ReaderRead(r, packed.data(), static_cast<size_t>(size));
        UnpackPattern(packed.data(), size, song, song->patterns[p]);
    }
    r->patternsEnd = r->reach;
    ReaderDeclare(r, samplesReach);
    song->declaredChannels = DeclaredChannels(*song);
    return true;
}

}  // namespace moddeck
