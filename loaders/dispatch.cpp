#include <cstring>
#include <vector>

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

bool AddMusic(Player& p, const uint8_t* data, size_t size, Refusal* why) {
    Refusal reason = Refusal::None;
    if (p.Liste_mods_nm < 0 || p.Liste_mods_nm >= kMaxSongs)
        reason = Refusal::ListFull;
    else if (size == 0)
        reason = Refusal::EmptyFile;
    if (why) *why = reason;
    if (reason != Refusal::None) return false;
    const FileFormat format = DetectModuleFormat(data, size);
    Mod* song = new Mod();
    SNDMyFILE r = OpenMemoryReader(data, size);
    bool loaded = format == FileFormat::S3M  ? ReadS3MSong(song, &r)
                  : format == FileFormat::XM ? ReadXMSong(song, &r)
                                             : ReadMODSong(song, &r);
    if (!loaded) {
        FreeModSong(song);
        p.SONG = p.Liste_mods_nm > 0 ? p.Liste_mods[0] : nullptr;
        if (why) *why = Refusal::NotAModule;
        return false;
    }
    p.Liste_mods[p.Liste_mods_nm++] = song;
    p.plusieurs_mod = 1;
    p.SONG = p.Liste_mods[0];
    p.new_song = 0;
    return true;
}

bool AddMusic(Player& p, const char* path, Refusal* why) {
    std::vector<uint8_t> bytes;
    if (!path) {
        if (why) *why = Refusal::NoSuchFile;
        return false;
    }
    if (!ReadWholeFile(path, bytes, kMaxModuleBytes, why)) return false;
    return AddMusic(p, bytes.data(), bytes.size(), why);
}

bool AddMusic(const char* path) { return AddMusic(ProcessPlayer(), path); }

}  // namespace moddeck
