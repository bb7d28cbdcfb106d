// Opening a file: the one way a file comes to be played.
//
// Whatever played before is stopped and released first; then the extension
// of the path chooses Ogg Vorbis ("OGG" in any case) or the module loaders,
// which tell XM, S3M and MOD apart by the file's contents. The About texts
// TitleSong and SamplesSong are left ready for the new file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "song/format.h"

namespace moddeck {

// The shell's texts of the file being opened: its path, the extension
// after its last '.' (upper-cased), and the About view's title and sample
// names, built when a file is opened.
constexpr size_t kPathSize = 4096;
constexpr size_t kExtensionSize = 1024;
constexpr int kTitleSize = 256;
constexpr int kSamplesSize = 4096;
extern char fname_tmp[kPathSize];
extern char temp_str[kExtensionSize];
extern char TitleSong[kTitleSize];
extern char SamplesSong[kSamplesSize];

// What the last openFile did, for the screen.
enum class OpenStatus {
    Idle,            // nothing opened yet
    ModulePlaying,   // a module loaded and its output thread runs
    OggPlaying,      // an Ogg Vorbis stream opened and its output thread runs
    OggRefused,      // the Ogg file could not be opened or is not Ogg Vorbis
    ModuleRejected,  // the file could not be opened or no loader accepted it
    PathTooLong,     // the path does not fit fname_tmp; refused like an unreadable file
};

// The file as the screen shows it. Written by openFile on the main thread,
// from the song before its output thread starts, so the screen never has to
// read the renderer's state.
struct OpenedFile {
    OpenStatus status = OpenStatus::Idle;
    FileFormat format = FileFormat::None;
    int32_t channels = 0;    // module channels
    int32_t songLength = 0;  // entries of the order table
    int32_t oggRate = 0;     // Ogg: sample rate and channels of the stream, 0 when unknown
    int32_t oggChannels = 0;
};
extern OpenedFile openedFile;

// Stops what plays and plays `path` (UTF-8). Always answers true, as a
// desktop application tells the system it took the file; what happened is in
// openedFile.status. Main thread only.
bool openFile(const char* path);

// Copies the text after the last '.' of `path` (the whole path without one;
// folder names count) into `out`, upper-casing a..z only. An extension that
// does not fit `size` is cut; a cut extension can never read as "OGG" because
// it is longer than three letters.
void ExtensionOf(const char* path, char* out, size_t size);

// Copies `src` into `dst` of `size` bytes, always terminated; when it must
// cut, it cuts before the UTF-8 sequence that would not fit whole.
void CopyUtf8Bounded(char* dst, size_t size, const char* src);

// Reads the sample rate and channel count from the Vorbis identification
// header at the start of an Ogg file's first page. False when the bytes do
// not hold one.
bool ReadVorbisFormat(const uint8_t* data, size_t size, int32_t* rate, int32_t* channels);

// The About texts of a loaded module: its title, and the names of the
// samples that hold data a line each, cut at a character boundary to their
// buffers.
struct Mod;
void BuildAboutTexts(const Mod& song);

}  // namespace moddeck
