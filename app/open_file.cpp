#include "app/open_file.h"

#include <cstdio>
#include <cstring>

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

// The identification header always sits in the first page, whole, within
// the first few dozen bytes: reading a small head is enough.
void ReadOggFormatOfFile(const char* path) {
    uint8_t head[128];
    FILE* f = std::fopen(path, "rb");
    if (!f) return;
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    ReadVorbisFormat(head, n, &openedFile.oggRate, &openedFile.oggChannels);
}

}  // namespace

bool ReadVorbisFormat(const uint8_t* data, size_t size, int32_t* rate, int32_t* channels) {
    // Page header: "OggS", version, flags, granule (8), serial, sequence,
    // checksum, segment count; then the segment table and the first packet.
    if (size < 27 || std::memcmp(data, "OggS", 4) != 0) return false;
    size_t packet = 27 + size_t(data[26]);
    // Packet: type 1, "vorbis", version (4), channels (1), rate (4).
    if (packet + 16 > size || data[packet] != 1 || std::memcmp(data + packet + 1, "vorbis", 6) != 0) return false;
    const uint8_t* p = data + packet + 11;
    uint32_t r = uint32_t(p[1]) | uint32_t(p[2]) << 8 | uint32_t(p[3]) << 16 | uint32_t(p[4]) << 24;
    if (p[0] == 0 || r == 0 || r > 1000000) return false;
    *channels = p[0];
    *rate = int32_t(r);
    return true;
}

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
    // A path that does not fit is refused like an unreadable file: cutting it
    // would open some other file.
    bool fits = path && std::strlen(path) < kPathSize;
    if (fits)
        std::strcpy(fname_tmp, path);
    else
        fname_tmp[0] = '\0';

    AudioBringUp();
    // Both output threads read the player state without locks: everything of
    // the old file is stopped and released before anything of the new one is
    // written.
    StopModulePlayer();
    StopOggPlayer();
    openedFile = OpenedFile{};

    if (!fits) {
        TitleSong[0] = '\0';
        SamplesSong[0] = '\0';
        openedFile.status = OpenStatus::PathTooLong;
        return true;
    }

    ExtensionOf(fname_tmp, temp_str, sizeof temp_str);
    if (std::strcmp(temp_str, "OGG") == 0) {
        CopyUtf8Bounded(TitleSong, sizeof TitleSong, fname_tmp);
        CopyUtf8Bounded(SamplesSong, sizeof SamplesSong, kOggSamplesText);
        openedFile.format = FileFormat::Ogg;
        openedFile.status = StartOggPlayer(fname_tmp) ? OpenStatus::OggPlaying : OpenStatus::OggRefused;
        if (openedFile.status == OpenStatus::OggPlaying) ReadOggFormatOfFile(fname_tmp);
        return true;
    }

    Player& player = ProcessPlayer();
    FreeSongList(player);
    if (!AddMusic(player, fname_tmp)) {
        // Nothing plays; the texts of the previous file would now be wrong.
        TitleSong[0] = '\0';
        SamplesSong[0] = '\0';
        openedFile.status = OpenStatus::ModuleRejected;
        return true;
    }
    BuildAboutTexts(*player.SONG);
    StartModule(player);
    openedFile.format = FormatOf(*player.SONG);
    openedFile.channels = player.SONG->nbChannels;
    openedFile.songLength = player.SONG->songLength;
    StartModulePlayer();
    openedFile.status = OpenStatus::ModulePlaying;
    return true;
}

}  // namespace moddeck
