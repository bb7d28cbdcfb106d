// Amiga-style modules in all their tag variants, and the untagged
// 15-sample files. Whatever is neither S3M nor XM ends up here, so this
// loader is where files that are no module at all are told apart: a header
// is only taken when everything in it is something a tracker could have
// written (volumes up to 64, finetunes in their nibble, loops within their
// samples, played orders naming patterns below 128 that the file holds) and
// the file holds some sound (sample data or a non-empty pattern). Random
// bytes or a text file fail the sample headers long before the rest.
//
// Periods become note numbers of the finetune-0 period row; the period is
// kept beside the note. 8-bit sample data becomes 16-bit frames with 10
// zeroed guard frames after the end, which the mixer's interpolation may
// touch past the last frame.
//
// Bounds, since the file is never trusted:
// - the 1212-byte prefix that chooses the variant is read as zeros past the
//   end of a short file, so a short file matches no tag;
// - the finetune is the low nibble of its byte: no file can select a period
//   row that does not exist;
// - a song length beyond the order table is cut to the table (128 or 256);
// - at most 256 patterns (one order byte each) of at most 32 channels;
// - a sample longer than the bytes left in the file is cut to what is there
//   (a file cut in its sample data plays what it holds).
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "loaders/commands.h"
#include "loaders/loaders.h"
#include "loaders/sample_data.h"
#include "song/periods.h"
#include "song/reader.h"

namespace moddeck {

namespace {

constexpr int kPrefixBytes = 1212;
constexpr int kTagOffset = 1080;
constexpr int kLongTagOffset = 1208;
constexpr int kRows = 64;
constexpr int kGuardFrames = 10;
constexpr int kFinetuneZeroRow = 8;

struct ModVariant {
    int channels;
    int sampleHeaders;
    int orderEntries;
    bool tagged;
    int afterTag = 0;  // bytes between the tag and the patterns
};

struct ModTag {
    char text[5];
    int channels;
    const char* tracker;  // the tracker that writes this tag
    int afterTag = 0;     // the FA0x files keep 4 bytes of their own after it
};

constexpr ModTag kTags[] = {
    {"M.K.", 4, "ProTracker"},   {"M!K!", 4, "ProTracker"},   {"M&K!", 4, "NoiseTracker"},
    {"FEST", 4, "NoiseTracker"}, {"NSMS", 4, "Amiga tracker"}, {"LARD", 4, "Amiga tracker"},
    {"FLT4", 4, "StarTrekker"},  {"FLT8", 8, "StarTrekker"},  {"4FLT", 4, "StarTrekker"},
    {"8FLT", 8, "StarTrekker"},  {"CD61", 6, "Atari tracker"}, {"CD81", 8, "Atari tracker"},
    {"OKTA", 8, "Atari tracker"}, {"OCTA", 8, "Atari tracker"}, {"FA04", 4, "Atari tracker", 4},
    {"FA06", 6, "Atari tracker", 4}, {"FA08", 8, "Atari tracker", 4},
};

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// Channel counts spelled in the tag: "xCHN" (1..9), "xxCH" (10..32) and
// "TDZx"; 0 when the tag is none of these.
int CountedChannels(const uint8_t* tag) {
    int n = 0;
    if (IsDigit(tag[0]) && std::memcmp(tag + 1, "CHN", 3) == 0) n = tag[0] - '0';
    if (IsDigit(tag[0]) && IsDigit(tag[1]) && std::memcmp(tag + 2, "CH", 2) == 0) n = 10 * (tag[0] - '0') + tag[1] - '0';
    if (std::memcmp(tag, "TDZ", 3) == 0 && IsDigit(tag[3])) n = tag[3] - '0';
    return n >= 1 && n <= kClassicMaxChannels ? n : 0;
}

ModVariant ChooseVariant(const uint8_t (&prefix)[kPrefixBytes], const char** tracker = nullptr) {
    for (const ModTag& tag : kTags)
        if (std::memcmp(prefix + kTagOffset, tag.text, 4) == 0) {
            if (tracker) *tracker = tag.tracker;
            return {tag.channels, 31, 128, true, tag.afterTag};
        }
    if (const int channels = CountedChannels(prefix + kTagOffset)) {
        if (tracker) *tracker = "FastTracker";
        return {channels, 31, 128, true};
    }
    if (std::memcmp(prefix + kLongTagOffset, "16CH", 4) == 0) {
        if (tracker) *tracker = "FastTracker";
        return {16, 31, 256, true};
    }
    // Fifteen samples and no tag: the first trackers' files.
    if (tracker) *tracker = "Soundtracker";
    return {4, 15, 128, false};
}

// Amiga words are big-endian.
uint16_t ReadBigEndianWord(SNDMyFILE* r) {
    uint8_t b[2];
    ReaderRead(r, b, 2);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

// Note of every 12-bit period: the first note, from the lowest, whose
// finetune-0 period (halved) lies within 2 of it; -1 when none does. Built
// once from the period rows, which never change, so that a cell costs one
// look-up instead of a search of the whole row.
constexpr int kPeriodRange = 4096;

const int16_t* NoteOfPeriodTable() {
    static const auto table = [] {
        std::array<int16_t, kPeriodRange> notes;
        notes.fill(-1);
        // From the highest note down, so that the lowest matching note wins.
        for (int k = kNotes - 1; k >= 0; k--) {
            int half = Periods[kFinetuneZeroRow][k] / 2;
            for (int p = std::max(half - 2, 0); p <= half + 2 && p < kPeriodRange; p++)
                notes[p] = static_cast<int16_t>(k);
        }
        return notes;
    }();
    return table.data();
}

// Bytes before the first pattern: title, sample headers, song length,
// restart byte, order table, the tag and what follows it.
int64_t HeaderBytes(const ModVariant& v) {
    return 20 + 30 * v.sampleHeaders + 2 + v.orderEntries + (v.tagged ? 4 : 0) + v.afterTag;
}

bool PlausibleHeader(const SNDMyFILE& file, const ModVariant& v) {
    SNDMyFILE r = file;
    const int64_t start = r.pos;
    if (r.size - start < HeaderBytes(v)) return false;
    ReaderSkip(&r, 20);
    int64_t sampleBytes = 0;
    for (int slot = 1; slot <= v.sampleHeaders; slot++) {
        ReaderSkip(&r, 22);
        const int64_t length = ReadBigEndianWord(&r);
        const uint8_t finetune = ReadU8(&r), volume = ReadU8(&r);
        const int64_t loopStart = ReadBigEndianWord(&r), loopLength = ReadBigEndianWord(&r);
        if (volume > 64 || finetune > 15) return false;
        // Old trackers counted the loop start in bytes, so a loop may reach
        // up to twice the length in words; beyond that it is not a loop.
        if (length > 0 && loopStart + loopLength > 2 * length + 2) return false;
        sampleBytes += 2 * length;
    }
    const int songLength = ReadU8(&r);
    ReadU8(&r);  // restart
    if (songLength > v.orderEntries) return false;
    uint8_t orders[256];
    ReaderRead(&r, orders, static_cast<size_t>(v.orderEntries));
    int highest = 0;
    for (int i = 0; i < songLength; i++) {
        if (orders[i] >= 128) return false;
        highest = std::max<int>(highest, orders[i]);
    }
    const int64_t patternStart = start + HeaderBytes(v);
    const int64_t patternBytes = int64_t{highest + 1} * kRows * v.channels * 4;
    // A tagged file cut inside its patterns is a module, which the load
    // refuses as cut; without a tag it is nothing known.
    if (patternStart + patternBytes > r.size) return v.tagged;
    // Some sound: sample data after the patterns, or a note or effect.
    if (sampleBytes > 0 && patternStart + patternBytes < r.size) return true;
    const uint8_t* cells = r.data + patternStart;
    return std::any_of(cells, cells + patternBytes, [](uint8_t b) { return b != 0; });
}

void ReadSample(SNDMyFILE* r, int slot, Mod* song) {
    ModSample& s = song->samples[slot];
    ReaderRead(r, s.name, 22);
    s.length = ReadBigEndianWord(r) * 2;  // words -> frames
    // Only the low nibble carries the finetune, as a signed 4-bit value.
    int fine = ReadU8(r) & 0x0F;
    s.finetune = fine < 8 ? fine : fine - 16;
    s.volume = static_cast<int8_t>(ReadU8(r));
    s.loopStart = ReadBigEndianWord(r) * 2;
    s.loopLength = ReadBigEndianWord(r) * 2;
}

void ReadPattern(SNDMyFILE* r, int index, Mod* song, int channels) {
    ModPattern& p = song->patterns[index];
    std::fill(std::begin(p.tracks), std::end(p.tracks), nullptr);
    for (int ch = 0; ch < channels; ch++) p.tracks[ch] = new ModCell[kRows]();

    for (int row = 0; row < kRows; row++) {
        for (int ch = 0; ch < channels; ch++) {
            uint8_t b[4];
            ReaderRead(r, b, 4);
            ModCell& cell = p.tracks[ch][row];
            cell.instrument = static_cast<uint8_t>((b[0] & 0xF0) | (b[2] >> 4));
            cell.period = static_cast<int16_t>(((b[0] & 0x0F) << 8) | b[1]);
            TranslateTrackerCommand(b[2] & 0x0F, b[3], false, cell);
            cell.note = NoteOfPeriodTable()[cell.period];
        }
    }
    p.nbRows = kRows;
}

void ReadSampleDatas(SNDMyFILE* r, int slot, Mod* song) {
    ModSample& s = song->samples[slot];
    s.data = nullptr;
    if (s.length <= 0) return;
    const int64_t declared = s.length;
    s.length = FramesAvailable(r, s.length, kSample8Bit);
    if (s.length > 0) {
        s.data = new int16_t[static_cast<size_t>(s.length) + kGuardFrames]();
        ReadSampleFrames(r, s.data, s.length, kSample8Bit);
    }
    // The next sample starts after the whole of this one, also when the
    // file is cut inside it.
    ReaderSkip(r, SampleBytes(declared - s.length, kSample8Bit));
}

}  // namespace

namespace {

// The variant is chosen from the first 1212 bytes, read on their own.
ModVariant VariantOf(const SNDMyFILE& file, const char** tracker = nullptr) {
    SNDMyFILE r = file;
    uint8_t prefix[kPrefixBytes];
    ReaderRead(&r, prefix, sizeof prefix);
    return ChooseVariant(prefix, tracker);
}

}  // namespace

bool PlausibleMODHeader(const SNDMyFILE& r) { return PlausibleHeader(r, VariantOf(r)); }

bool ReadMODSong(Mod* song, SNDMyFILE* r) {
    const char* tracker = "";
    const ModVariant v = VariantOf(*r, &tracker);
    if (!PlausibleHeader(*r, v)) return false;
    std::snprintf(song->tracker, sizeof song->tracker, "%s", tracker);

    song->isXM = 0;
    song->isS3M = 0;
    song->behaviour = BehaviourOf(FileFormat::MOD);
    ReaderRead(r, song->title, 20);
    for (int slot = 1; slot <= v.sampleHeaders; slot++) ReadSample(r, slot, song);

    song->songLength = std::min<int>(ReadU8(r), v.orderEntries);
    ReadU8(r);  // restart position
    uint8_t orders[256];
    ReaderRead(r, orders, v.orderEntries);
    for (int i = 0; i < v.orderEntries; i++) song->orders[i] = orders[i];
    if (v.tagged) ReaderSkip(r, 4 + v.afterTag);

    // Only the positions that are played decide how many patterns exist.
    int highest = 0;
    for (int i = 0; i < song->songLength; i++) highest = std::max(highest, song->orders[i]);
    song->nbPatterns = highest + 1;
    song->patterns = new ModPattern[song->nbPatterns]();
    song->nbChannels = song->declaredChannels = v.channels;
    for (int i = 0; i < song->nbPatterns; i++) ReadPattern(r, i, song, v.channels);
    r->patternsEnd = r->reach;

    for (int slot = 1; slot <= v.sampleHeaders; slot++) ReadSampleDatas(r, slot, song);
    return true;
}

}  // namespace moddeck
