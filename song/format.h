// The kinds of file the player knows. Modules carry theirs in the song
// record's flags, for the library to tell and the shell to show; the
// engine plays by the song's Behaviour, never by the format.
#pragma once

#include "song/song.h"

namespace moddeck {

enum class FileFormat { None, MOD, S3M, XM, IT, Ogg };

// The format a loaded song plays by: IT when isIT is set, S3M when isS3M is
// 1, else XM when isXM is non-zero, else MOD.
inline FileFormat FormatOf(const Mod& song) {
    if (song.isIT) return FileFormat::IT;
    if (song.isS3M == 1) return FileFormat::S3M;
    if (song.isXM) return FileFormat::XM;
    return FileFormat::MOD;
}

// Short names for people: "XM", "S3M", "MOD", "IT", "Ogg Vorbis", "".
inline const char* FormatName(FileFormat format) {
    switch (format) {
        case FileFormat::XM: return "XM";
        case FileFormat::S3M: return "S3M";
        case FileFormat::MOD: return "MOD";
        case FileFormat::IT: return "IT";
        case FileFormat::Ogg: return "Ogg Vorbis";
        case FileFormat::None: break;
    }
    return "";
}

}  // namespace moddeck
