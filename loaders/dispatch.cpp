#include <algorithm>
#include <cstring>
#include <new>

#include "loaders/loaders.h"

namespace moddeck {

FileFormat DetectModuleFormat(const uint8_t* data, size_t size) {
    SNDMyFILE r = OpenMemoryReader(data, size);
    uint8_t head[48];
    ReaderRead(&r, head, sizeof head);
    if (std::memcmp(head, "IMPM", 4) == 0) return FileFormat::IT;
    if (std::memcmp(head + 44, "SCRM", 4) == 0) return FileFormat::S3M;
    if (std::memcmp(head, "Extended M", 10) == 0) return FileFormat::XM;
    return FileFormat::MOD;
}

namespace {

// What no module can be: nothing, or more than any module holds.
Refusal SizeRefusal(const uint8_t* data, size_t size) {
    if (!data || size == 0) return Refusal::EmptyFile;
    if (size > kMaxModuleBytes) return Refusal::TooLarge;
    return Refusal::None;
}

bool PlausibleHeader(FileFormat format, const SNDMyFILE& r) {
    switch (format) {
        case FileFormat::IT: return PlausibleITHeader(r);
        case FileFormat::S3M: return PlausibleS3MHeader(r);
        case FileFormat::XM: return PlausibleXMHeader(r);
        default: return PlausibleMODHeader(r);
    }
}

bool ReadSong(FileFormat format, Mod* song, SNDMyFILE* r) {
    switch (format) {
        case FileFormat::IT: return ReadITSong(song, r);
        case FileFormat::S3M: return ReadS3MSong(song, r);
        case FileFormat::XM: return ReadXMSong(song, r);
        default: return ReadMODSong(song, r);
    }
}

bool Sounds(const ModSample& s) {
    for (int32_t i = 0; s.data && i < s.length; i++)
        if (s.data[i] != 0) return true;
    return false;
}

// Whether any sample holds a frame that is not silence.
bool AnySound(const Mod& song) {
    for (int i = 1; i < kSampleSlots; i++)
        if (Sounds(song.samples[i])) return true;
    for (int i = 1; i <= std::min(song.nbInstruments, kMaxInstruments); i++)
        for (int k = 0; song.isXM && song.instruments[i].samples && k < song.instruments[i].nbSamples; k++)
            if (Sounds(song.instruments[i].samples[k])) return true;
    return false;
}

// A file that ends inside its patterns is refused, as is one whose cut
// samples leave nothing to hear; one with part of its samples plays.
Truncation TruncationOf(const SNDMyFILE& r) {
    if (r.patternsEnd > r.size) return {Refusal::TruncatedPatterns, r.patternsEnd, r.size};
    if (r.reach > r.size) return {Refusal::TruncatedSamples, r.reach, r.size};
    return {};
}

}  // namespace

FileFormat ProbeSong(const uint8_t* data, size_t size, Refusal* why) {
    Refusal reason = SizeRefusal(data, size);
    FileFormat format = FileFormat::None;
    if (reason == Refusal::None) {
        const SNDMyFILE r = OpenMemoryReader(data, size);
        format = DetectModuleFormat(data, size);
        if (!PlausibleHeader(format, r)) {
            format = FileFormat::None;
            reason = Refusal::NotAModule;
        }
    }
    if (why) *why = reason;
    return format;
}

Mod* LoadSong(const uint8_t* data, size_t size, Refusal* why, Truncation* cut) {
    Refusal reason = SizeRefusal(data, size);
    Truncation truncation;
    Mod* song = nullptr;
    if (reason == Refusal::None) {
        const FileFormat format = DetectModuleFormat(data, size);
        SNDMyFILE r = OpenMemoryReader(data, size);
        try {
            song = new Mod();
            const bool loaded = ReadSong(format, song, &r);
            if (!loaded) reason = Refusal::NotAModule;
            if (loaded) truncation = TruncationOf(r);
            if (truncation.part == Refusal::TruncatedPatterns ||
                (truncation.part == Refusal::TruncatedSamples && !AnySound(*song)))
                reason = truncation.part;
        } catch (const std::bad_alloc&) {
            // Every size a file declares is bounded by its bytes, so this is
            // a machine without the memory for a real module.
            reason = Refusal::TooLarge;
        }
        if (reason != Refusal::None) {
            FreeModSong(song);
            song = nullptr;
        }
    }
    if (why) *why = reason;
    if (cut) *cut = truncation;
    return song;
}

}  // namespace moddeck
