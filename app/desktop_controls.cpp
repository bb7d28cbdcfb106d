#include "app/desktop_controls.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/application.h"

namespace moddeck {

namespace {

double GainOfDb(int db) { return std::pow(10.0, db / 20.0); }

std::string TrackIdOf(const Playlist& list) { return "/org/moddeck/track/" + std::to_string(list.index()); }

}  // namespace

std::string FileUrl(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    const std::string whole = error ? path : absolute.lexically_normal().string();
    std::string url = "file://";
    for (const char c : whole) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            url += hex;
        }
    }
    return url;
}

void DesktopControls::Play() { app_.Play(); }

void DesktopControls::Pause() { app_.Pause(); }

void DesktopControls::PlayPause() { app_.PlayPause(); }

void DesktopControls::Stop() { app_.Stop(); }

void DesktopControls::Next() { app_.Next(); }

void DesktopControls::Previous() { app_.Previous(); }

void DesktopControls::SeekBy(int64_t offsetUs) { app_.SeekBy(static_cast<double>(offsetUs) / 1e6); }

// A position meant for another track (one that has moved on) is ignored.
void DesktopControls::SetPosition(const std::string& trackId, int64_t positionUs) {
    if (!app_.playlist().empty() && trackId == TrackIdOf(app_.playlist()))
        app_.SeekTo(static_cast<double>(positionUs) / 1e6);
}

void DesktopControls::SetVolume(double volume) {
    app_.SetVolume(volume > 0 ? int(std::lround(20.0 * std::log10(volume))) : kMinVolumeDb);
}

void DesktopControls::SetLoopStatus(LoopStatus loop) {
    app_.SetLoopMode(loop == LoopStatus::None    ? LoopMode::Off
                     : loop == LoopStatus::Track ? LoopMode::File
                                                 : LoopMode::List);
}

void DesktopControls::SetShuffle(bool shuffle) { app_.SetShuffle(shuffle); }

MediaSnapshot DesktopControls::Snapshot() const {
    const NowPlaying now = app_.nowPlaying();
    const Playlist& list = app_.playlist();
    MediaSnapshot s;
    s.status = now.status == NowPlaying::Status::Playing  ? PlaybackStatus::Playing
               : now.status == NowPlaying::Status::Paused ? PlaybackStatus::Paused
                                                          : PlaybackStatus::Stopped;
    if (!list.empty() && !now.path.empty()) {
        s.title = now.title;
        s.trackId = TrackIdOf(list);
        if (now.path != kStandardInputName) s.url = FileUrl(now.path);
        s.lengthUs = int64_t(now.length * 1e6);
        s.positionUs = int64_t(now.position * 1e6);
    }
    s.volume = GainOfDb(app_.volumeDb());
    const LoopMode mode = app_.loopMode();
    s.loop = mode == LoopMode::Off ? LoopStatus::None : mode == LoopMode::File ? LoopStatus::Track : LoopStatus::Playlist;
    s.shuffle = app_.shuffle();
    s.canSeek = now.canSeek;
    const bool wraps = mode == LoopMode::List && list.size() > 1;
    s.canGoNext = !list.empty() && (wraps || list.index() + 1 < list.size());
    s.canGoPrevious = !list.empty() && (wraps || list.index() > 0);
    return s;
}

}  // namespace moddeck
