#include "app/open_file.h"

#include <cstdio>
#include <cstring>

#include "app/instrument_list.h"
#include "engine/module_start.h"
#include "engine/output.h"
#include "engine/player.h"
#include "loaders/loaders.h"
#include "ogg/ogg_player.h"

namespace moddeck {

char fname_tmp[kPathSize] = {};
char temp_str[kExtensionSize] = {};
char TitleSong[kTitleSize] = {};
char SamplesSong[kSamplesSize] = {};
OpenedFile openedFile;

namespace {

constexpr char kOggSamplesText[] = "OGG File";

bool IsUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Appends up to `len` bytes of `text` to the NUL-terminated `dst` of `size`
// bytes. What does not fit is cut, never inside a UTF-8 sequence. Returns
// false once something had to be cut.
bool AppendBounded(char* dst, size_t size, size_t& used, const char* text, size_t len) {
    size_t room = size - 1 - used;
    bool fits = len <= room;
    size_t take = fits ? len : room;
    // Do not end on a lead or continuation byte whose sequence is cut.
    if (!fits)
        while (take > 0 && (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80) take--;
    std::memcpy(dst + used, text, take);
    used += take;
    dst[used] = '\0';
    return fits;
}

// Why a file that is neither an Ogg stream nor a module is refused: one
// named as Ogg Vorbis is a broken stream to its owner, not a module.
Refusal ModuleRefusal(const char* path, Refusal why) {
    char extension[8];
    ExtensionOf(path, extension, sizeof extension);
    const bool oggName = std::strcmp(extension, "OGG") == 0 || std::strcmp(extension, "OGA") == 0;
    return why == Refusal::NotAModule && oggName ? Refusal::NotOggVorbis : why;
}

void ClearTexts() {
    TitleSong[0] = '\0';
    SamplesSong[0] = '\0';
}

bool Refuse(Refusal why) {
    ClearTexts();
    openedFile.status = OpenStatus::Refused;
    openedFile.refusal = why;
    return true;
}

bool PlayOgg(const std::vector<uint8_t>& bytes) {
    CopyUtf8Bounded(TitleSong, sizeof TitleSong, fname_tmp);
    CopyUtf8Bounded(SamplesSong, sizeof SamplesSong, kOggSamplesText);
    openedFile.format = FileFormat::Ogg;
    OggPlayer& ogg = ProcessOggPlayer();
    Refusal why = Refusal::None;
    if (!StartOggPlayer(ogg, bytes.data(), bytes.size(), &why)) {
        // The About view keeps the path, as for a stream that plays.
        openedFile.status = OpenStatus::Refused;
        openedFile.refusal = why;
        return true;
    }
    const OggIdentity id = IdentifyOgg(bytes.data(), bytes.size());
    openedFile.oggRate = id.rate;
    openedFile.oggChannels = id.channels;
    // Written at the open; the output thread never touches it.
    openedFile.seconds = ogg.OGG_Seconds;
    openedFile.status = OpenStatus::OggPlaying;
    return true;
}

bool PlayModule(const std::vector<uint8_t>& bytes) {
    Player& player = ProcessPlayer();
    FreeSongList(player);
    Refusal why = Refusal::TooLarge;
    if (bytes.size() > kMaxModuleBytes || !AddMusic(player, bytes.data(), bytes.size(), &why))
        return Refuse(ModuleRefusal(fname_tmp, why));
    const Mod& song = *player.SONG;
    BuildAboutTexts(song);
    openedFile.format = FormatOf(song);
    openedFile.channels = song.nbChannels;
    openedFile.songLength = song.songLength;
    openedFile.timeline = MeasureSong(song);
    openedFile.seconds = openedFile.timeline.seconds;
    openedFile.instruments = InstrumentLines(song);
    StartModule(player);
    StartModulePlayer();
    openedFile.status = OpenStatus::ModulePlaying;
    return true;
}

// Stops what plays, then plays `bytes` as fname_tmp's file.
bool PlayImage(const std::vector<uint8_t>& bytes) {
    return IsOggImage(bytes.data(), bytes.size()) ? PlayOgg(bytes) : PlayModule(bytes);
}

// Everything of the old file is stopped and released before anything of
// the new one is written: both output threads read the player state
// without locks.
void StopEverything() {
    AudioBringUp();
    StopModulePlayer();
    StopOggPlayer();
    openedFile = OpenedFile{};
}

// Copies `path` into fname_tmp; false (fname_tmp empty) when it does not
// fit: cutting it would name some other file.
bool SetPath(const char* path) {
    const bool fits = path && std::strlen(path) < kPathSize;
    if (fits)
        std::strcpy(fname_tmp, path);
    else
        fname_tmp[0] = '\0';
    ExtensionOf(fname_tmp, temp_str, sizeof temp_str);
    return fits;
}

}  // namespace

void CopyUtf8Bounded(char* dst, size_t size, const char* src) {
    if (size == 0) return;
    size_t n = std::strlen(src);
    if (n >= size) {
        n = size - 1;
        // Back off to the lead byte of a sequence cut in two, then drop that
        // lead byte too: half a character would show as garbage.
        if (IsUtf8Continuation(static_cast<unsigned char>(src[n]))) {
            while (n > 0 && IsUtf8Continuation(static_cast<unsigned char>(src[n]))) n--;
        }
    }
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void ExtensionOf(const char* path, char* out, size_t size) {
    if (size == 0) return;
    const char* dot = std::strrchr(path, '.');
    const char* ext = dot ? dot + 1 : path;
    size_t n = std::strlen(ext);
    if (n >= size) n = size - 1;
    for (size_t i = 0; i < n; i++) {
        char c = ext[i];
        out[i] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    out[n] = '\0';
}

void BuildAboutTexts(const Mod& song) {
    size_t used = 0;
    TitleSong[0] = '\0';
    AppendBounded(TitleSong, kTitleSize, used, song.title, strnlen(song.title, sizeof song.title));

    used = 0;
    SamplesSong[0] = '\0';
    for (const ModSample& s : song.samples) {
        if (!s.data) continue;
        if (!AppendBounded(SamplesSong, kSamplesSize, used, s.name, strnlen(s.name, sizeof s.name))) break;
        if (!AppendBounded(SamplesSong, kSamplesSize, used, "\n", 1)) break;
    }
}

bool openFile(const char* path) {
    const bool fits = SetPath(path);
    StopEverything();
    if (!fits) return Refuse(Refusal::PathTooLong);
    std::vector<uint8_t> bytes;
    Refusal why = Refusal::None;
    if (!ReadWholeFile(fname_tmp, bytes, kMaxOggBytes, &why)) return Refuse(why);
    return PlayImage(bytes);
}

bool openImage(const char* name, const std::vector<uint8_t>& bytes) {
    const bool fits = SetPath(name);
    StopEverything();
    if (!fits) return Refuse(Refusal::PathTooLong);
    if (bytes.empty()) return Refuse(Refusal::EmptyFile);
    return PlayImage(bytes);
}

Refusal CheckPlayable(const char* path) {
    std::vector<uint8_t> bytes;
    Refusal why = Refusal::None;
    if (!ReadWholeFile(path, bytes, kMaxOggBytes, &why)) return why;
    if (IsOggImage(bytes.data(), bytes.size())) {
        OggPlayer scratch;
        OpenOggBytes(scratch, bytes.data(), bytes.size(), &why);
        CloseOggStream(scratch);
        return why;
    }
    if (bytes.size() > kMaxModuleBytes) return Refusal::TooLarge;
    Player scratch(VoiceBuffers::None);
    AddMusic(scratch, bytes.data(), bytes.size(), &why);
    return ModuleRefusal(path, why);
}

}  // namespace moddeck
