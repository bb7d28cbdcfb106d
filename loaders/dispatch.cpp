#include <cstring>

#include "engine/state.h"
#include "loaders/loaders.h"
#include "song/reader.h"

namespace moddeck {

namespace {

enum class ModuleFormat { S3M, XM, MOD };

// Missing bytes read as zeros, which match no magic: a short file is a MOD.
bool DetectFormat(ModuleFormat& format) {
    SNDMyFILE* r = OpenModuleReader();
    if (!r) return false;
    uint8_t head[48];
    ReaderRead(r, head, sizeof head);
    CloseReader(r);
    if (std::memcmp(head + 44, "SCRM", 4) == 0)
        format = ModuleFormat::S3M;
    else if (std::memcmp(head, "Extended M", 10) == 0)
        format = ModuleFormat::XM;
    else
        format = ModuleFormat::MOD;
    return true;
}

}  // namespace

bool AddMusic(const char*) {
    ModuleFormat format;
    if (Liste_mods_nm < 0 || Liste_mods_nm >= kMaxSongs || !DetectFormat(format)) return false;

    Mod* song = new Mod();
    bool loaded = format == ModuleFormat::S3M  ? ReadS3MSong(song)
                  : format == ModuleFormat::XM ? ReadXMSong(song)
                                               : ReadMODSong(song);
    if (!loaded) {
        FreeModSong(song);
        SONG = Liste_mods_nm > 0 ? Liste_mods[0] : nullptr;
        return false;
    }
    Liste_mods[Liste_mods_nm++] = song;
    plusieurs_mod = 1;
    SONG = Liste_mods[0];
    new_song = 0;
    return true;
}

}  // namespace moddeck
