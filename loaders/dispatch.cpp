#include <cstring>
#include <new>

#include "loaders/loaders.h"

namespace moddeck {

FileFormat DetectModuleFormat(const uint8_t* data, size_t size) {
    SNDMyFILE r = OpenMemoryReader(data, size);
    uint8_t head[48];
    ReaderRead(&r, head, sizeof head);
    if (std::memcmp(head + 44, "SCRM", 4) == 0) return FileFormat::S3M;
    if (std::memcmp(head, "Extended M", 10) == 0) return FileFormat::XM;
    return FileFormat::MOD;
}

namespace {

// What no module can be: nothing, or more than any module holds.
Refusal SizeRefusal(size_t size) {
    if (size == 0) return Refusal::EmptyFile;
    if (size > kMaxModuleBytes) return Refusal::TooLarge;
    return Refusal::None;
}

}  // namespace

FileFormat ProbeSong(const uint8_t* data, size_t size, Refusal* why) {
    Refusal reason = data ? SizeRefusal(size) : Refusal::EmptyFile;
    FileFormat format = FileFormat::None;
    if (reason == Refusal::None) {
        const SNDMyFILE r = OpenMemoryReader(data, size);
        format = DetectModuleFormat(data, size);
        const bool plausible = format == FileFormat::S3M  ? PlausibleS3MHeader(r)
                               : format == FileFormat::XM ? PlausibleXMHeader(r)
                                                          : PlausibleMODHeader(r);
        if (!plausible) {
            format = FileFormat::None;
            reason = Refusal::NotAModule;
        }
    }
    if (why) *why = reason;
    return format;
}

Mod* LoadSong(const uint8_t* data, size_t size, Refusal* why) {
    Refusal reason = data ? SizeRefusal(size) : Refusal::EmptyFile;
    Mod* song = nullptr;
    if (reason == Refusal::None) {
        const FileFormat format = DetectModuleFormat(data, size);
        SNDMyFILE r = OpenMemoryReader(data, size);
        try {
            song = new Mod();
            const bool loaded = format == FileFormat::S3M  ? ReadS3MSong(song, &r)
                                : format == FileFormat::XM ? ReadXMSong(song, &r)
                                                           : ReadMODSong(song, &r);
            if (!loaded) reason = Refusal::NotAModule;
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
    return song;
}

}  // namespace moddeck
