#include "song/refusal.h"

namespace moddeck {

const char* RefusalText(Refusal why) {
    switch (why) {
        case Refusal::None: return "";
        case Refusal::NoSuchFile: return "no such file";
        case Refusal::IsADirectory: return "is a directory";
        case Refusal::NotARegularFile: return "not a regular file";
        case Refusal::PermissionDenied: return "permission denied";
        case Refusal::EmptyFile: return "empty file";
        case Refusal::TooLarge: return "file too large";
        case Refusal::Unreadable: return "cannot be read";
        case Refusal::NotAModule: return "not a module";
        case Refusal::OggOpus: return "Ogg Opus, not Ogg Vorbis";
        case Refusal::OggFlac: return "Ogg FLAC, not Ogg Vorbis";
        case Refusal::OggSpeex: return "Ogg Speex, not Ogg Vorbis";
        case Refusal::OggTheora: return "Ogg Theora video, not Ogg Vorbis";
        case Refusal::NotOggVorbis: return "not a playable Ogg Vorbis stream";
        case Refusal::PathTooLong: return "path too long";
        case Refusal::TruncatedPatterns: return "truncated: the patterns end past the end of the file";
        case Refusal::TruncatedSamples: return "truncated: the samples end past the end of the file";
        case Refusal::ImpulseTracker: return "Impulse Tracker module: not supported";
        case Refusal::CompressedDamaged: return "compressed: the packed data is damaged or cut";
        case Refusal::CompressedTooLarge: return "compressed: unpacks to more than a module can be";
        case Refusal::CompressedNotAModule: return "compressed: not a module inside";
        case Refusal::ZipArchive: return "compressed: a zip archive (unpack it first)";
    }
    return "cannot be played";
}

}  // namespace moddeck
