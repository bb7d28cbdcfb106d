#include "song/refusal.h"

#include <cerrno>

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
        case Refusal::ListFull: return "the song list is full";
    }
    return "cannot be played";
}

Refusal RefusalOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return Refusal::NoSuchFile;
        case EISDIR: return Refusal::IsADirectory;
        case EACCES:
        case EPERM: return Refusal::PermissionDenied;
        case ENAMETOOLONG: return Refusal::PathTooLong;
        case EFBIG:
        case EOVERFLOW: return Refusal::TooLarge;
        default: return Refusal::Unreadable;
    }
}

}  // namespace moddeck
