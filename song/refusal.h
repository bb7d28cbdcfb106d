// Why a file cannot be played, for people: the screen, the hand-off to a
// running player and the developer tools all print the same words.
#pragma once

namespace moddeck {

enum class Refusal {
    None,              // nothing went wrong
    NoSuchFile,
    IsADirectory,
    NotARegularFile,   // a device, a pipe or a socket named as a file
    PermissionDenied,
    EmptyFile,
    TooLarge,          // beyond what the player will hold in memory
    Unreadable,        // any other failure to open or read it
    NotAModule,        // no plausible IT, XM, S3M or MOD header, nor an Ogg stream
    OggOpus,           // an Ogg stream of another codec than Vorbis
    OggFlac,
    OggSpeex,
    OggTheora,
    NotOggVorbis,      // an Ogg stream whose Vorbis headers are missing or broken
    PathTooLong,
    TruncatedPatterns,   // the file ends inside its patterns
    TruncatedSamples,    // the file ends inside its samples, leaving nothing to hear
    ImpulseTracker,      // no longer given: Impulse Tracker modules load
    CompressedDamaged,   // gzip, bzip2 or xz data that does not unpack
    CompressedTooLarge,  // unpacks past the largest module
    CompressedNotAModule,  // unpacks to something that is no module
    ZipArchive,          // a zip archive, which may hold anything
};

// A short lower-case phrase: "no such file", "not a module", ...; "" for None.
const char* RefusalText(Refusal why);

}  // namespace moddeck
