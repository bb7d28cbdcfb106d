// Module loaders: the loader entry that recognises IT, XM, S3M and MOD files
// by their contents, the four format readers, and the release of a song.
//
// Loaders parse bytes already in memory, through the bounded reader of
// song/reader.h, and return a song record that nothing changes afterwards;
// they know nothing of playback.
#pragma once

#include <cstddef>
#include <cstdint>

#include "song/format.h"
#include "song/reader.h"
#include "song/refusal.h"
#include "song/song.h"

namespace moddeck {

// Module files larger than this are refused unread: no real module comes
// near it, and it bounds what a hostile file can make the player hold.
constexpr size_t kMaxModuleBytes = size_t{256} << 20;

// The module format of a file's first bytes: "IMPM" at 0: IT; "SCRM" at 44: S3M; "Extended M"
// at 0: XM; anything else: MOD. Missing bytes read as zeros, which match no
// magic: a short file is a MOD.
FileFormat DetectModuleFormat(const uint8_t* data, size_t size);

// Whether LoadSong would take the file from its header alone: the format,
// or FileFormat::None with the reason in *why (when given).
FileFormat ProbeSong(const uint8_t* data, size_t size, Refusal* why = nullptr);

// Where a file ends before what it declares: TruncatedPatterns or
// TruncatedSamples, the byte the cut part would end at and the file's size;
// `part` None for a whole file.
struct Truncation {
    Refusal part = Refusal::None;
    int64_t end = 0;
    int64_t size = 0;
};

// Recognises the module in `data` and has the format's loader fill a new
// zero-filled record. Null, with the reason in *why (when given), for no
// bytes (EmptyFile), more than kMaxModuleBytes or no memory (TooLarge), a
// file whose format's loader finds no plausible header (NotAModule), or one
// cut inside its patterns
// (TruncatedPatterns) or so early in its samples that nothing would sound
// (TruncatedSamples). A song whose samples are cut further on loads, with
// the cut in *cut (when given). Release the song with FreeModSong.
Mod* LoadSong(const uint8_t* data, size_t size, Refusal* why = nullptr, Truncation* cut = nullptr);

// Format readers. `song` is zero-filled. Each refuses (false) a file whose
// header is not plausible for its format, so that a file that is no module
// never plays as silence; a plausible file that is damaged further on loads
// what it holds. On false `song` may hold partly loaded data, which
// FreeModSong releases.
bool ReadXMSong(Mod* song, SNDMyFILE* r);
bool ReadS3MSong(Mod* song, SNDMyFILE* r);
bool ReadMODSong(Mod* song, SNDMyFILE* r);
bool ReadITSong(Mod* song, SNDMyFILE* r);

// The header checks the readers start with, on their own: true when the
// reader's file has a header its format's reader would take.
bool PlausibleXMHeader(const SNDMyFILE& r);
bool PlausibleS3MHeader(const SNDMyFILE& r);
bool PlausibleMODHeader(const SNDMyFILE& r);
bool PlausibleITHeader(const SNDMyFILE& r);

// Releases a record created by LoadSong with everything it owns. Null is
// allowed.
void FreeModSong(Mod* song);

}  // namespace moddeck
