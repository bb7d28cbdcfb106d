#include "app/mpris.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace moddeck {

namespace {

constexpr char kPath[] = "/org/mpris/MediaPlayer2";
constexpr char kRootInterface[] = "org.mpris.MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char kName[] = "org.mpris.MediaPlayer2.moddeck";
constexpr char kNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
// A bus that does not answer must not hold the player's start for long.
constexpr uint64_t kCallTimeoutUs = 2'000'000;
// Messages handled per turn of the event loop: a flood waits for the next.
constexpr int kMessagesPerTurn = 64;

MprisBus& BusOf(void* userdata) { return *static_cast<MprisBus*>(userdata); }
MediaControls& ControlsOf(void* userdata) { return *BusOf(userdata).controls(); }

const char* StatusName(PlaybackStatus s) {
    switch (s) {
        case PlaybackStatus::Playing: return "Playing";
        case PlaybackStatus::Paused: return "Paused";
        case PlaybackStatus::Stopped: break;
    }
    return "Stopped";
}

const char* LoopName(LoopStatus l) {
    switch (l) {
        case LoopStatus::Track: return "Track";
        case LoopStatus::Playlist: return "Playlist";
        case LoopStatus::None: break;
    }
    return "None";
}

// ---- Methods: each does what it says and answers with nothing.

template <void (MediaControls::*action)()>
int Call(sd_bus_message* m, void* userdata, sd_bus_error*) {
    (ControlsOf(userdata).*action)();
    return sd_bus_reply_method_return(m, "");
}

int Seek(sd_bus_message* m, void* userdata, sd_bus_error*) {
    int64_t offset = 0;
    const int r = sd_bus_message_read(m, "x", &offset);
    if (r < 0) return r;
    ControlsOf(userdata).SeekBy(offset);
    BusOf(userdata).SignalSeeked(ControlsOf(userdata).Snapshot().positionUs);
    return sd_bus_reply_method_return(m, "");
}

int SetPosition(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* track = nullptr;
    int64_t position = 0;
    const int r = sd_bus_message_read(m, "ox", &track, &position);
    if (r < 0) return r;
    // Out of range, or for a track that no longer plays, it is ignored.
    const MediaSnapshot now = ControlsOf(userdata).Snapshot();
    if (position >= 0 && (now.lengthUs == 0 || position <= now.lengthUs) && now.trackId == track) {
        ControlsOf(userdata).SetPosition(track, position);
        BusOf(userdata).SignalSeeked(ControlsOf(userdata).Snapshot().positionUs);
    }
    return sd_bus_reply_method_return(m, "");
}

int OpenUri(sd_bus_message*, void*, sd_bus_error* error) {
    return sd_bus_error_set(error, SD_BUS_ERROR_NOT_SUPPORTED, "Moddeck opens files given on its command line");
}

int Raise(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, ""); }

// ---- Properties.

#define MODDECK_GETTER(name) \
    int name(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata, sd_bus_error*)

template <bool value>
MODDECK_GETTER(Constant) {
    (void)userdata;
    return sd_bus_message_append(reply, "b", value ? 1 : 0);
}

MODDECK_GETTER(Identity) {
    (void)userdata;
    return sd_bus_message_append(reply, "s", "Moddeck");
}

MODDECK_GETTER(DesktopEntry) {
    (void)userdata;
    return sd_bus_message_append(reply, "s", "moddeck");
}

MODDECK_GETTER(UriSchemes) {
    (void)userdata;
    return sd_bus_message_append(reply, "as", 1, "file");
}

MODDECK_GETTER(MimeTypes) {
    (void)userdata;
    return sd_bus_message_append(reply, "as", 7, "audio/x-mod", "audio/x-s3m", "audio/x-xm", "audio/x-it", "audio/ogg",
                                 "audio/x-vorbis+ogg", "application/ogg");
}

MODDECK_GETTER(Status) { return sd_bus_message_append(reply, "s", StatusName(ControlsOf(userdata).Snapshot().status)); }
MODDECK_GETTER(Loop) { return sd_bus_message_append(reply, "s", LoopName(ControlsOf(userdata).Snapshot().loop)); }
MODDECK_GETTER(Shuffle) { return sd_bus_message_append(reply, "b", ControlsOf(userdata).Snapshot().shuffle ? 1 : 0); }
MODDECK_GETTER(Volume) { return sd_bus_message_append(reply, "d", ControlsOf(userdata).Snapshot().volume); }
MODDECK_GETTER(Position) { return sd_bus_message_append(reply, "x", ControlsOf(userdata).Snapshot().positionUs); }
MODDECK_GETTER(CanSeek) { return sd_bus_message_append(reply, "b", ControlsOf(userdata).Snapshot().canSeek ? 1 : 0); }
MODDECK_GETTER(CanGoNext) { return sd_bus_message_append(reply, "b", ControlsOf(userdata).Snapshot().canGoNext ? 1 : 0); }
MODDECK_GETTER(CanGoPrevious) {
    return sd_bus_message_append(reply, "b", ControlsOf(userdata).Snapshot().canGoPrevious ? 1 : 0);
}
MODDECK_GETTER(Rate) {
    (void)userdata;
    return sd_bus_message_append(reply, "d", 1.0);
}

MODDECK_GETTER(Metadata) {
    const MediaSnapshot s = ControlsOf(userdata).Snapshot();
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "mpris:trackid", "o", s.trackId.empty() ? kNoTrack : s.trackId.c_str());
    if (r >= 0 && s.lengthUs > 0) r = sd_bus_message_append(reply, "{sv}", "mpris:length", "x", s.lengthUs);
    if (r >= 0 && !s.title.empty()) r = sd_bus_message_append(reply, "{sv}", "xesam:title", "s", s.title.c_str());
    if (r >= 0 && !s.artist.empty()) r = sd_bus_message_append(reply, "{sv}", "xesam:artist", "as", 1, s.artist.c_str());
    if (r >= 0 && !s.url.empty()) r = sd_bus_message_append(reply, "{sv}", "xesam:url", "s", s.url.c_str());
    return r < 0 ? r : sd_bus_message_close_container(reply);
}

#define MODDECK_SETTER(name) \
    int name(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void* userdata, sd_bus_error* error)

MODDECK_SETTER(SetVolume) {
    (void)error;
    double volume = 0;
    const int r = sd_bus_message_read(value, "d", &volume);
    if (r < 0) return r;
    ControlsOf(userdata).SetVolume(volume > 0 ? volume : 0.0);  // NaN too
    return 1;
}

MODDECK_SETTER(SetLoop) {
    const char* name = nullptr;
    const int r = sd_bus_message_read(value, "s", &name);
    if (r < 0) return r;
    for (LoopStatus l : {LoopStatus::None, LoopStatus::Track, LoopStatus::Playlist})
        if (std::string(name) == LoopName(l)) {
            ControlsOf(userdata).SetLoopStatus(l);
            return 1;
        }
    return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no loop status %s", name);
}

MODDECK_SETTER(SetShuffle) {
    (void)error;
    int shuffle = 0;
    const int r = sd_bus_message_read(value, "b", &shuffle);
    if (r < 0) return r;
    ControlsOf(userdata).SetShuffle(shuffle != 0);
    return 1;
}

// The rate is always 1: a setting of it is taken and changes nothing.
MODDECK_SETTER(SetRate) {
    (void)userdata;
    (void)error;
    double rate = 1;
    return sd_bus_message_read(value, "d", &rate) < 0 ? -EINVAL : 1;
}

constexpr uint64_t kChanges = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;
constexpr uint64_t kConstant = SD_BUS_VTABLE_PROPERTY_CONST;

const sd_bus_vtable kRootVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", Raise, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", Call<&MediaControls::Quit>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", Constant<true>, 0, kConstant),
    SD_BUS_PROPERTY("CanRaise", "b", Constant<false>, 0, kConstant),
    SD_BUS_PROPERTY("HasTrackList", "b", Constant<false>, 0, kConstant),
    SD_BUS_PROPERTY("Identity", "s", Identity, 0, kConstant),
    SD_BUS_PROPERTY("DesktopEntry", "s", DesktopEntry, 0, kConstant),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", UriSchemes, 0, kConstant),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", MimeTypes, 0, kConstant),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kPlayerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", Call<&MediaControls::Next>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", Call<&MediaControls::Previous>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", Call<&MediaControls::Pause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", Call<&MediaControls::PlayPause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", Call<&MediaControls::Stop>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", Call<&MediaControls::Play>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", Seek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", SetPosition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", OpenUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", Status, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("LoopStatus", "s", Loop, SetLoop, 0, kChanges | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_WRITABLE_PROPERTY("Rate", "d", Rate, SetRate, 0, kChanges | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_WRITABLE_PROPERTY("Shuffle", "b", Shuffle, SetShuffle, 0, kChanges | SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Metadata", "a{sv}", Metadata, 0, kChanges),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", Volume, SetVolume, 0, kChanges | SD_BUS_VTABLE_UNPRIVILEGED),
    // The position moves all the time: it is read, never signalled.
    SD_BUS_PROPERTY("Position", "x", Position, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", Rate, 0, kConstant),
    SD_BUS_PROPERTY("MaximumRate", "d", Rate, 0, kConstant),
    SD_BUS_PROPERTY("CanGoNext", "b", CanGoNext, 0, kChanges),
    SD_BUS_PROPERTY("CanGoPrevious", "b", CanGoPrevious, 0, kChanges),
    SD_BUS_PROPERTY("CanPlay", "b", Constant<true>, 0, kConstant),
    SD_BUS_PROPERTY("CanPause", "b", Constant<true>, 0, kConstant),
    SD_BUS_PROPERTY("CanSeek", "b", CanSeek, 0, kChanges),
    SD_BUS_PROPERTY("CanControl", "b", Constant<true>, 0, kConstant),
    SD_BUS_VTABLE_END,
};

// The properties whose values differ between two snapshots.
std::vector<const char*> ChangedProperties(const MediaSnapshot& a, const MediaSnapshot& b) {
    std::vector<const char*> names;
    const auto add = [&](bool changed, const char* name) {
        if (changed) names.push_back(name);
    };
    add(a.status != b.status, "PlaybackStatus");
    add(a.title != b.title || a.artist != b.artist || a.url != b.url || a.trackId != b.trackId ||
            a.lengthUs != b.lengthUs,
        "Metadata");
    add(a.volume != b.volume, "Volume");
    add(a.loop != b.loop, "LoopStatus");
    add(a.shuffle != b.shuffle, "Shuffle");
    add(a.canSeek != b.canSeek, "CanSeek");
    add(a.canGoNext != b.canGoNext, "CanGoNext");
    add(a.canGoPrevious != b.canGoPrevious, "CanGoPrevious");
    return names;
}

}  // namespace

bool MprisBus::Open(MediaControls& controls) {
    Close();
    controls_ = &controls;
    shown_ = controls.Snapshot();
    int r = sd_bus_open_user(&bus_);
    if (r >= 0) r = sd_bus_set_method_call_timeout(bus_, kCallTimeoutUs);
    if (r >= 0) r = sd_bus_add_object_vtable(bus_, &root_, kPath, kRootInterface, kRootVtable, this);
    if (r >= 0) r = sd_bus_add_object_vtable(bus_, &player_, kPath, kPlayerInterface, kPlayerVtable, this);
    if (r >= 0) {
        r = sd_bus_request_name(bus_, kName, 0);
        if (r == -EEXIST) {
            const std::string instance = std::string(kName) + ".instance" + std::to_string(getpid());
            r = sd_bus_request_name(bus_, instance.c_str(), 0);
        }
    }
    if (r < 0) Close();
    return r >= 0;
}

void MprisBus::Close() {
    player_ = sd_bus_slot_unref(player_);
    root_ = sd_bus_slot_unref(root_);
    bus_ = sd_bus_flush_close_unref(bus_);
}

int MprisBus::Fd() const { return bus_ ? sd_bus_get_fd(bus_) : -1; }

short MprisBus::Events() const {
    const int events = bus_ ? sd_bus_get_events(bus_) : 0;
    return static_cast<short>(events > 0 ? events : 0);
}

void MprisBus::Process() {
    for (int i = 0; bus_ && i < kMessagesPerTurn; i++) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) Close();
        if (r <= 0) break;
    }
    if (bus_) SignalChanges();
}

void MprisBus::SignalChanges() {
    const MediaSnapshot now = controls_->Snapshot();
    std::vector<const char*> names = ChangedProperties(shown_, now);
    shown_ = now;
    if (names.empty()) return;
    names.push_back(nullptr);
    sd_bus_emit_properties_changed_strv(bus_, kPath, kPlayerInterface, const_cast<char**>(names.data()));
}

void MprisBus::SignalSeeked(int64_t positionUs) {
    if (bus_) sd_bus_emit_signal(bus_, kPath, kPlayerInterface, "Seeked", "x", positionUs);
}

}  // namespace moddeck
