// Opening a file: the one way a file comes to be played.
//
// Whatever played before is stopped and released first; then the file's
// contents choose: an Ogg page starts an Ogg Vorbis stream (whatever the
// name), anything else goes to the module loaders, which tell XM, S3M and
// MOD apart and refuse what is none of them. The About texts TitleSong and
// SamplesSong, the instrument list and the song's length are left ready
// for the new file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/song_length.h"
#include "song/format.h"
#include "song/refusal.h"

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
    Idle,           // nothing opened yet
    ModulePlaying,  // a module loaded and its output thread runs
    OggPlaying,     // an Ogg Vorbis stream opened and its output thread runs
    Refused,        // nothing plays: `refusal` says why
};

// The file as the screen shows it. Written by openFile on the main thread,
// from the song before its output thread starts, so the screen never has to
// read the renderer's state.
struct OpenedFile {
    OpenStatus status = OpenStatus::Idle;
    Refusal refusal = Refusal::None;
    FileFormat format = FileFormat::None;
    int32_t channels = 0;    // module channels
    int32_t songLength = 0;  // entries of the order table
    int32_t oggRate = 0;     // Ogg: sample rate and channels of the stream, 0 when unknown
    int32_t oggChannels = 0;
    double seconds = 0;      // the stream's length (Ogg), 0 when unknown; modules: timeline
    SongTimeline timeline;   // modules: the song's length, loop and order times
    std::vector<std::string> instruments;  // the instrument view's lines (modules)
};
extern OpenedFile openedFile;

// Files are read whole up to this: an Ogg Vorbis image may reach 2 GiB
// (its positions are 32-bit); a module beyond kMaxModuleBytes is refused.
constexpr size_t kMaxOggBytes = 0x7FFFFFFF;

// Stops what plays and plays `path` (UTF-8). Always answers true, as a
// desktop application tells the system it took the file; what happened is in
// openedFile.status and, when nothing plays, openedFile.refusal. Main
// thread only.
bool openFile(const char* path);
// The same for a file already read into memory (standard input): `name`
// stands for its path in the texts.
bool openImage(const char* name, const std::vector<uint8_t>& bytes);

// Whether `path` would play, without playing it or touching what plays:
// the file is read and recognised as openFile would (an Ogg stream opened, a
// module loaded) on scratch players. Refusal::None when it would play.
Refusal CheckPlayable(const char* path);

// Copies the text after the last '.' of `path` (the whole path without one;
// folder names count) into `out`, upper-casing a..z only. An extension that
// does not fit `size` is cut; a cut extension can never read as "OGG" because
// it is longer than three letters.
void ExtensionOf(const char* path, char* out, size_t size);

// Copies `src` into `dst` of `size` bytes, always terminated; when it must
// cut, it cuts before the UTF-8 sequence that would not fit whole.
void CopyUtf8Bounded(char* dst, size_t size, const char* src);

// The About texts of a loaded module: its title, and the names of the
// samples that hold data a line each, cut at a character boundary to their
// buffers.
struct Mod;
void BuildAboutTexts(const Mod& song);

}  // namespace moddeck
