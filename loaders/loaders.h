// Module loaders: the loader entry that recognises XM, S3M and MOD files by
// their contents, the three format readers, and the release of a song.
//
// Loaders parse bytes already in memory, through the bounded reader of
// song/reader.h; reading the file is the loader entry's caller's business
// (or the path form of AddMusic, which reads it whole first). A loader
// returns false when the file cannot be held by the song record; the loader
// entry then adds no song.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/player.h"
#include "song/format.h"
#include "song/reader.h"
#include "song/song.h"

namespace moddeck {

// Module files larger than this are refused unread: no real module comes
// near it, and it bounds what a hostile path can make the player hold.
constexpr size_t kMaxModuleBytes = size_t{256} << 20;

// The module format of a file's first bytes: "SCRM" at 44: S3M; "Extended M"
// at 0: XM; anything else: MOD. Missing bytes read as zeros, which match no
// magic: a short file is a MOD.
FileFormat DetectModuleFormat(const uint8_t* data, size_t size);

// Recognises the module in `data`, creates a zero-filled record, lists it
// in p.Liste_mods and has the format's loader fill it. On success:
// Liste_mods_nm += 1, plusieurs_mod = 1, SONG = Liste_mods[0], new_song = 0,
// and true. Returns false, adding nothing, with the reason in *why (when
// given): ListFull when the list holds 32 songs without a reset, EmptyFile,
// or NotAModule when the format's loader finds no plausible header. Only
// while no output thread renders p.
bool AddMusic(Player& p, const uint8_t* data, size_t size, Refusal* why = nullptr);
// The same for the file at `path`, read whole first; false also when it
// cannot be read or is larger than kMaxModuleBytes (see ReadWholeFile).
bool AddMusic(Player& p, const char* path, Refusal* why = nullptr);
// The same for the process-wide player.
bool AddMusic(const char* path);

// Format readers. `song` is zero-filled. Each refuses (false) a file whose
// header is not plausible for its format, so that a file that is no module
// never plays as silence; a plausible file that is damaged further on loads
// what it holds. On false `song` may hold partly loaded data, which
// FreeModSong releases.
bool ReadXMSong(Mod* song, SNDMyFILE* r);
bool ReadS3MSong(Mod* song, SNDMyFILE* r);
bool ReadMODSong(Mod* song, SNDMyFILE* r);

// Releases a record created by AddMusic with everything it owns.
void FreeModSong(Mod* song);

// Releases every song of p.Liste_mods and empties the list (SONG = null).
// Only while no output thread renders p.
void FreeSongList(Player& p);
void FreeSongList();  // the process-wide player

}  // namespace moddeck
