// Module loaders: the loader entry that recognises XM, S3M and MOD files by
// their contents, the three format readers, and the release of a song.
//
// Every loader reads through one bounded reader (song/reader.h) opened on
// the current module source: the file named by fname_tmp, or a memory image.
// A loader returns false when the source cannot be opened or when the file
// cannot be held by the song record; the loader entry then adds no song.
#pragma once

#include "song/song.h"

namespace moddeck {

// Recognises the module source ("SCRM" at 44: S3M; "Extended M" at 0: XM;
// anything else: MOD), creates a zero-filled record, lists it in Liste_mods
// and has the format's loader fill it. On success: Liste_mods_nm += 1,
// plusieurs_mod = 1, SONG = Liste_mods[0], new_song = 0, and true. Returns
// false, adding nothing, when the source cannot be opened, the list is full
// (32 songs without a reset) or the loader rejects the file.
bool AddMusic(const char* unused = nullptr);

// Format readers. `song` is zero-filled; on false it may hold partly loaded
// data, which FreeModSong releases.
bool ReadXMSong(Mod* song);
bool ReadS3MSong(Mod* song);
bool ReadMODSong(Mod* song);

// Releases a record created by AddMusic with everything it owns.
void FreeModSong(Mod* song);

// Releases every song of Liste_mods and empties the list (SONG = null).
// Only while no module output thread runs.
void FreeSongList();

}  // namespace moddeck
