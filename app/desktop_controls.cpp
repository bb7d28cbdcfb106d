#include "app/desktop_controls.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/application.h"

namespace moddeck {

namespace {

bool Audible(const ScreenModel& m) {
    return (m.status == OpenStatus::ModulePlaying || m.status == OpenStatus::OggPlaying) && !m.finished;
}

double GainOfDb(int db) { return std::pow(10.0, db / 20.0); }

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

void DesktopControls::Play() {
    if (app_.paused()) app_.HandleKey(' ');
}

void DesktopControls::Pause() {
    if (!app_.paused()) app_.HandleKey(' ');
}

void DesktopControls::PlayPause() { app_.HandleKey(' '); }

void DesktopControls::Stop() { Pause(); }

void DesktopControls::Next() { app_.HandleKey('n'); }

void DesktopControls::Previous() { app_.HandleKey('p'); }

void DesktopControls::SeekBy(int64_t) {}

void DesktopControls::SetPosition(const std::string&, int64_t) {}

void DesktopControls::SetVolume(double volume) {
    const int target = volume > 0 ? int(std::lround(20.0 * std::log10(volume))) : kMinVolumeDb;
    const int wanted = std::clamp(target, kMinVolumeDb, kMaxVolumeDb);
    // One step at a time, as the keys move it: at most the whole range.
    for (int steps = 0; steps <= kMaxVolumeDb - kMinVolumeDb && app_.volumeDb() != wanted; steps++)
        app_.HandleKey(app_.volumeDb() < wanted ? '*' : '/');
}

void DesktopControls::SetLoopStatus(LoopStatus loop) {
    if (app_.loop() != (loop != LoopStatus::None)) app_.HandleKey('l');
}

void DesktopControls::SetShuffle(bool) {}

MediaSnapshot DesktopControls::Snapshot() const {
    const ScreenModel m = app_.Model();
    const Playlist& list = app_.playlist();
    MediaSnapshot s;
    const bool audible = Audible(m);
    s.status = !audible ? PlaybackStatus::Stopped : m.paused ? PlaybackStatus::Paused : PlaybackStatus::Playing;
    if (!list.empty() && (audible || m.finished)) {
        s.title = m.title.empty() ? std::filesystem::path(m.file).filename().string() : m.title;
        s.trackId = "/org/moddeck/track/" + std::to_string(list.index());
        if (list.current() != kStandardInputName) s.url = FileUrl(list.current());
        s.lengthUs = int64_t(m.length * 1e6);
        s.positionUs = int64_t(m.seconds * 1e6);
    }
    s.volume = GainOfDb(app_.volumeDb());
    s.loop = app_.loop() ? LoopStatus::Track : LoopStatus::None;
    s.canGoNext = !list.empty() && list.index() + 1 < list.size();
    s.canGoPrevious = !list.empty() && list.index() > 0;
    return s;
}

}  // namespace moddeck
