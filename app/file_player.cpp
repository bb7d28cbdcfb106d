#include "app/file_player.h"

#include "audio/file_name.h"
#include "audio/input_file.h"

namespace moddeck {

namespace {

// The About texts of an Ogg file: its TITLE comment (with the ARTIST's),
// else its path; and every comment, "key: value" a line.
AboutTexts OggAbout(const std::string& name, const std::vector<std::string>& comments) {
    std::string title, artist, lines;
    for (const std::string& c : comments) {
        const size_t eq = c.find('=');
        std::string key = c.substr(0, eq), value = eq == std::string::npos ? "" : c.substr(eq + 1);
        for (char& k : key) k = char(k >= 'A' && k <= 'Z' ? k - 'A' + 'a' : k);
        if (key == "title" && title.empty()) title = value;
        if (key == "artist" && artist.empty()) artist = value;
        lines += key + ": " + value + "\n";
    }
    if (title.empty()) title = ReadableFileName(name);
    if (!artist.empty()) title = artist + " - " + title;
    return {Utf8Prefix(title, kTitleBytes), Utf8Prefix(lines, kSampleNamesBytes), "Comments:"};
}

// The reason a load gives, for people.
std::string ReportLine(const moddeck_load_report& report) {
    char line[200];
    moddeck_load_report_text(&report, line, sizeof line);
    return line;
}

// Why a file that is neither an Ogg stream nor a module is refused: one
// named as Ogg Vorbis is a broken stream to its owner, not a module.
moddeck_refusal ModuleRefusal(const std::string& path, moddeck_refusal why) {
    const std::string extension = ExtensionOf(path);
    const bool oggName = extension == "OGG" || extension == "OGA";
    return why == MODDECK_NOT_A_MODULE && oggName ? MODDECK_NOT_OGG_VORBIS : why;
}

}  // namespace

std::string ExtensionOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    std::string extension = dot == std::string::npos ? path : path.substr(dot + 1);
    for (char& c : extension)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return extension;
}

void FilePlayer::Stop() {
    // The output threads go first: they render the player and the stream
    // without locks.
    moduleOutput_.Stop();
    StopOggPlayer(ogg_);
    moddeck_player_free(player_);
    moddeck_song_free(song_);
    player_ = nullptr;
    song_ = nullptr;
    opened_ = OpenedFile{};
}

void FilePlayer::Refuse(moddeck_refusal why, std::string reason) {
    Stop();
    opened_.status = OpenStatus::Refused;
    opened_.refusal = why;
    opened_.reason = reason.empty() ? moddeck_refusal_text(why) : std::move(reason);
}

void FilePlayer::Open(const std::string& path) {
    Stop();
    std::vector<uint8_t> bytes;
    moddeck_refusal why = MODDECK_OK;
    if (!ReadWholeFile(path.c_str(), bytes, kMaxOggBytes, &why)) return Refuse(why);
    Play(path, bytes);
}

void FilePlayer::OpenImage(const std::string& name, const std::vector<uint8_t>& bytes) {
    Stop();
    if (bytes.empty()) return Refuse(MODDECK_EMPTY_FILE);
    Play(name, bytes);
}

void FilePlayer::Play(const std::string& name, const std::vector<uint8_t>& bytes) {
    if (IsOggImage(bytes.data(), bytes.size()))
        PlayOgg(name, bytes);
    else
        PlayModule(name, bytes);
}

void FilePlayer::PlayOgg(const std::string& name, const std::vector<uint8_t>& bytes) {
    moddeck_refusal why = MODDECK_OK;
    if (StartOggPlayer(ogg_, bytes.data(), bytes.size(), &why)) {
        const OggIdentity id = IdentifyOgg(bytes.data(), bytes.size());
        opened_.status = OpenStatus::OggPlaying;
        opened_.format = "Ogg Vorbis";
        opened_.oggRate = id.rate;
        opened_.oggChannels = id.channels;
        // Written at the open; the output thread never touches it.
        opened_.seconds = ogg_.OGG_Seconds;
    } else {
        Refuse(why);
    }
    // The About view shows the path, of a stream that is refused too.
    opened_.about = OggAbout(name, ogg_.OGG_Comments);
}

void FilePlayer::PlayModule(const std::string& name, const std::vector<uint8_t>& bytes) {
    moddeck_load_report report;
    song_ = moddeck_song_load_report(bytes.data(), bytes.size(), &report);
    if (!song_) {
        const moddeck_refusal why = ModuleRefusal(name, report.why);
        return Refuse(why, why == report.why ? ReportLine(report) : "");
    }
    player_ = moddeck_player_new(song_, kModuleRate);
    if (!player_) return Refuse(MODDECK_TOO_LARGE);
    moddeck_player_set_loop(player_, loop_);
    ApplySoundOptions(player_, sound_);
    if (!moduleOutput_.Start(player_)) return Refuse(MODDECK_UNREADABLE);

    moddeck_song_info info;
    moddeck_song_describe(song_, &info);
    opened_.status = OpenStatus::ModulePlaying;
    opened_.damage = ReportLine(report);
    opened_.format = info.format_name;
    opened_.channels = info.channels;
    opened_.orders = info.orders;
    opened_.subsongs = moddeck_song_subsongs(song_);
    TakeLength(0);
    opened_.about = AboutTextsOf(song_);
    opened_.instruments = InstrumentLines(song_);
}

void FilePlayer::TakeLength(int subsong) {
    moddeck_duration length;
    if (!moddeck_song_duration(song_, subsong, &length)) return;
    opened_.subsong = subsong;
    opened_.seconds = length.seconds;
    opened_.loopSeconds = length.loop_seconds;
    opened_.lengthComplete = length.complete != 0;
}

bool FilePlayer::SeekTo(double seconds) {
    seconds = seconds > 0 ? seconds : 0;
    if (opened_.status == OpenStatus::ModulePlaying && moduleOutput_.running()) {
        moduleOutput_.RequestSeek(seconds);
        return true;
    }
    if (opened_.status != OpenStatus::OggPlaying || opened_.seconds <= 0 || OggEnded() || !ogg_.output.running())
        return false;
    ogg_.OGG_SeekRequest.store(seconds, std::memory_order_release);
    return true;
}

bool FilePlayer::SelectSubsong(int subsong) {
    if (!player_ || !moduleOutput_.running() || subsong < 0 || subsong >= opened_.subsongs) return false;
    moduleOutput_.RequestSubsong(subsong);
    TakeLength(subsong);
    return true;
}

void FilePlayer::StopOutput() {
    moduleOutput_.Stop();
    // An Ogg stream that has been stopped cannot go on: it is closed.
    if (ogg_.output.running()) StopOggPlayer(ogg_);
}

bool FilePlayer::RestartOutput() { return player_ && moduleOutput_.Start(player_); }

void FilePlayer::SetPaused(bool paused) {
    moduleOutput_.SetPaused(paused);
    ogg_.output.SetPaused(paused);
}

void FilePlayer::SetLoop(bool loop) {
    loop_ = loop;
    if (player_) moddeck_player_set_loop(player_, loop);
}

moddeck_refusal CheckPlayable(const char* path) {
    std::vector<uint8_t> bytes;
    moddeck_refusal why = MODDECK_OK;
    if (!ReadWholeFile(path, bytes, kMaxOggBytes, &why)) return why;
    if (IsOggImage(bytes.data(), bytes.size())) {
        OggPlayer scratch;
        OpenOggBytes(scratch, bytes.data(), bytes.size(), &why);
        return why;
    }
    moddeck_song_free(moddeck_song_load(bytes.data(), bytes.size(), &why));
    return ModuleRefusal(path, why);
}

}  // namespace moddeck
