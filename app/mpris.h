// The desktop's media controls: the player on the session bus as an MPRIS
// media player (org.mpris.MediaPlayer2 and its Player interface), so that
// media keys, the desktop's "now playing" panel and playerctl drive it.
//
// The bus is served from the application's own event loop: Fd() is polled
// with the other descriptors and Process() handles what arrived, calling
// the MediaControls the bus was opened with, and tells the desktop what
// changed in their snapshot since the last call. Main thread only.
#pragma once

#include <cstdint>
#include <string>

struct sd_bus;
struct sd_bus_slot;

namespace moddeck {

enum class PlaybackStatus { Stopped, Playing, Paused };
enum class LoopStatus { None, Track, Playlist };

// What the desktop is shown of the player.
struct MediaSnapshot {
    PlaybackStatus status = PlaybackStatus::Stopped;
    std::string title;    // UTF-8
    std::string artist;   // "" when unknown
    std::string url;      // "file:///..."; "" for none (standard input)
    std::string trackId;  // a D-Bus object path naming the file that plays; "" for none
    int64_t lengthUs = 0;    // 0 when unknown
    int64_t positionUs = 0;
    double volume = 1.0;     // linear gain, 1 = as the file is
    LoopStatus loop = LoopStatus::None;
    bool shuffle = false;
    bool canSeek = false;
    bool canGoNext = false;
    bool canGoPrevious = false;

    bool operator==(const MediaSnapshot&) const = default;
};

// What the desktop may ask of the player. Times in microseconds.
class MediaControls {
public:
    virtual ~MediaControls() = default;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void PlayPause() = 0;
    virtual void Stop() = 0;
    virtual void Next() = 0;
    virtual void Previous() = 0;
    // Moves the position by `offsetUs` (negative: back).
    virtual void SeekBy(int64_t offsetUs) = 0;
    // Moves to `positionUs` of the track named `trackId`, when it is the one
    // that plays.
    virtual void SetPosition(const std::string& trackId, int64_t positionUs) = 0;
    virtual void SetVolume(double volume) = 0;
    virtual void SetLoopStatus(LoopStatus loop) = 0;
    virtual void SetShuffle(bool shuffle) = 0;
    virtual void Quit() = 0;
    virtual MediaSnapshot Snapshot() const = 0;
};

class MprisBus {
public:
    MprisBus() = default;
    ~MprisBus() { Close(); }
    MprisBus(const MprisBus&) = delete;
    MprisBus& operator=(const MprisBus&) = delete;

    // Connects to the session bus and takes the name
    // org.mpris.MediaPlayer2.moddeck (with ".instance" and the process id
    // when another player has it). False, saying nothing, without a session
    // bus: the player runs as before.
    bool Open(MediaControls& controls);
    void Close();
    bool IsOpen() const { return bus_ != nullptr; }
    // The descriptor to poll, and for which events; -1 when closed.
    int Fd() const;
    short Events() const;
    // Handles every message that has arrived, then signals what changed in
    // the snapshot. A broken connection closes the bus.
    void Process();

    const MediaSnapshot& shown() const { return shown_; }
    MediaControls* controls() const { return controls_; }
    // Signals that the position jumped (after a seek), as the desktop's
    // clocks need.
    void SignalSeeked(int64_t positionUs);

private:
    void SignalChanges();

    sd_bus* bus_ = nullptr;
    sd_bus_slot* root_ = nullptr;
    sd_bus_slot* player_ = nullptr;
    MediaControls* controls_ = nullptr;
    MediaSnapshot shown_;
};

}  // namespace moddeck
