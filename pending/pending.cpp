// TEMPORARY stand-ins for code being written elsewhere; removed before merge.
#include <cstdio>
#include <cstring>
#include "engine/module_start.h"
#include "engine/output.h"
#include "engine/state.h"
#include "loaders/loaders.h"
#include "ogg/ogg.h"
#include "song/reader.h"
namespace moddeck {
uint8_t TAG_SONGPLAYER = 0;
unsigned int source_secondary = 0, source_ogg = 0;
uint8_t TAG_OGGPLAYER = 0;
uint8_t OGG_Playing = 0;
void AudioBringUp() {}
void StartModulePlayer() { TAG_SONGPLAYER = 1; }
void StopModulePlayer() {
    if (TAG_SONGPLAYER) { FreeSongList(); StopModule(); }
    TAG_SONGPLAYER = 0;
}
bool StartOggPlayer() {
    TAG_OGGPLAYER = 1;
    FILE* f = std::fopen(fname_tmp, "rb");
    if (!f) return false;
    char m[4] = {};
    bool ok = std::fread(m, 1, 4, f) == 4 && std::memcmp(m, "OggS", 4) == 0;
    std::fclose(f);
    OGG_Playing = ok;
    return ok;
}
void StopOggPlayer() { OGG_Playing = 0; TAG_OGGPLAYER = 0; }
}
