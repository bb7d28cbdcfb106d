// The player application: plays the playlist it is handed, runs the event
// loop and drives the screen. It plays the role a desktop application
// delegate plays: the system (here a second `moddeck` through the instance
// socket, or the command line) hands it files, and the main screen hands it
// keys.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/channel_choice.h"
#include "app/file_player.h"
#include "app/playlist.h"
#include "app/screen.h"
#include "audio/output.h"

namespace moddeck {

class InstanceListener;

// The volume's range and step, in decibels of the listener's gain.
constexpr int kVolumeStepDb = 1;
constexpr int kMinVolumeDb = -60;
constexpr int kMaxVolumeDb = 6;

// The name under which the playlist holds standard input.
constexpr char kStandardInputName[] = "-";

// The seek keys' steps, in seconds.
constexpr double kShortSeek = 5;
constexpr double kLongSeek = 10;

// What plays, as a media controller sees it.
struct NowPlaying {
    enum class Status { Stopped, Playing, Paused };
    Status status = Status::Stopped;
    std::string title;  // the module's title, or the file name
    std::string path;   // as the playlist names it
    double length = 0;  // seconds; 0 when unknown
    double position = 0;
    bool canSeek = false;
};

class Application {
public:
    // `listener` may be null (no single-instance socket could be had).
    // With `useTerminal`, the screen is tried; without a terminal the
    // application plays with no screen and says what it does on stderr.
    Application(InstanceListener* listener, bool useTerminal);

    // Plays `paths` in turn from the first, instead of the playlist.
    // kStandardInputName stands for the bytes given to SetStandardInput.
    void Play(const std::vector<std::string>& paths);
    // Adds `paths` to the playlist; starts the first of them when nothing
    // plays (idle, or finished at the end of the list).
    void Enqueue(const std::vector<std::string>& paths);
    // What standard input held, read once at start-up.
    void SetStandardInput(std::vector<uint8_t> bytes) { standardInput_ = std::move(bytes); }

    // The event loop: opens the screen, plays `files` (as Play), and returns
    // after "q", `moddeck --quit`, SIGINT, SIGTERM or SIGHUP with the terminal
    // restored, playback stopped and the audio device closed; without a
    // screen also once the playlist has been played out. The audio device is
    // open only while something plays. Returns the exit status: 0, 128 + the
    // signal, or 1 when the list played out and nothing could be played,
    // or, without a screen, when there is no audio device to hear it on.
    int Run(const std::vector<std::string>& files = {});

    // ---- Transport, for keys and media controllers.
    // Resumes a pause; once stopped or finished, plays the current file
    // again from its start.
    void Play();
    void Pause();
    void PlayPause();
    // Stops the file (it starts over with Play) and releases the device.
    void Stop();
    // The next / previous file (round the list when it loops); false, with
    // a note, at an end.
    bool Next();
    bool Previous();
    // Moves within the file that plays (a module's subsong or an Ogg
    // stream); false, with a note saying why, when it cannot.
    bool SeekBy(double seconds);
    bool SeekTo(double seconds);
    // The first file that plays starts this many seconds in.
    void SetStartSeek(double seconds) { startSeek_ = seconds; }
    // Decibels, kept within kMinVolumeDb .. kMaxVolumeDb.
    void SetVolume(int db);
    // A mode chosen here holds for every list; until one is, a single file
    // loops and a list plays through once.
    void SetLoopMode(LoopMode mode);
    LoopMode loopMode() const { return loopMode_; }
    bool loopChosen() const { return loopChosen_; }
    void SetShuffle(bool shuffle);
    bool shuffle() const { return playlist_.shuffle(); }
    NowPlaying nowPlaying() const;

    // Handles one key from the screen; false when it asks to quit.
    bool HandleKey(int key);
    // One turn of the loop's bookkeeping: the Ogg clock, the end of a file
    // and the move to the next one.
    void Update();

    // What the screen would show now.
    ScreenModel Model() const;
    const ListView& view() const { return view_; }
    const Playlist& playlist() const { return playlist_; }
    bool paused() const { return paused_; }
    int volumeDb() const { return volumeDb_; }
    const FilePlayer& file() const { return file_; }
    // The choices of sound every module is played with.
    void SetSound(const SoundOptions& sound) { file_.SetSound(sound); }

private:
    enum class View { About, Keys, Instruments };
    using Clock = std::chrono::steady_clock;

    // Opens the playlist's current entry; skips entries that cannot be
    // played, saying why, in the direction of travel.
    void PlayCurrent();
    void ShowView(View view);
    // Fills the list view for `viewKind_` from the current file.
    void FillView();
    void SetPaused(bool paused);
    // The main view's keys (no list view open, or keys it does not take).
    bool HandleMainKey(int key);
    // The loop mode a list takes until one is chosen.
    void FollowListSize();
    bool StepFile(bool forward);
    // After a file was heard to its end: the next one, or nothing.
    void MoveOn();
    // Nothing plays: the outputs stop and the device is let go; without a
    // screen the loop ends.
    void Halt();
    // Without a device the output renders its first blocks and no more, so
    // a list would never move on; without a screen nothing would show it:
    // the player says that nothing can be heard, and ends with status 1.
    bool Unheard() const;
    void GiveUpUnheard();
    // The screen, saying which file is being loaded, drawn before a load
    // that may take a while.
    void DrawLoading();
    void BringUpAudio();
    bool Playable() const;
    // Right/"+" and Left/"-": each press moves the module one order entry.
    void StepOrder(int delta);
    void StepSubsong(int delta);
    void StepVolume(int db);
    // The l and s keys, with a note of what they did.
    void CycleLoopMode();
    void ToggleShuffle();
    // Up/Down choose a channel; m mutes it, o plays it alone.
    void SelectChannel(int delta);
    void ToggleMute();
    void ToggleSolo();
    void ApplyChannelGains();
    // A passing note on the screen, or a line on stderr without one.
    void Note(const std::string& text);
    // An Ogg stream's song time, from the wall clock, which runs only while
    // the stream is heard.
    double ClockSeconds() const;
    bool ClockRuns() const;

    InstanceListener* listener_;
    bool useTerminal_;
    // The device outlives the file: its outputs stop before it closes.
    AudioDevice audio_;
    FilePlayer file_;
    MainScreen screen_;
    ListView view_;
    View viewKind_ = View::About;
    Playlist playlist_;
    std::vector<uint8_t> standardInput_;
    std::string path_;
    bool paused_ = false;
    LoopMode loopMode_ = LoopMode::File;
    bool loopChosen_ = false;
    int volumeDb_ = 0;
    bool finished_ = false;
    // Outputs stopped and the device let go: at the end of the list, after
    // Stop, or when nothing could be played.
    bool halted_ = false;
    bool stopped_ = false;
    bool audioWanted_ = false;  // Run opens the device; the tests never do
    bool anyPlayed_ = false;
    bool done_ = false;         // without a screen: the list is played out
    bool unheard_ = false;      // without a screen or a device: ended unheard
    double startSeek_ = -1;
    double seekTarget_ = 0;     // the last seek asked, while not yet taken
    ChannelChoice channels_;
    Clock::time_point finishedAt_{};
    // Ogg song time = clockBase_, plus the time since clockSince_ while the
    // clock runs.
    double clockBase_ = 0;
    Clock::time_point clockSince_{};
    bool clockRunning_ = false;
    std::string message_;
    Clock::time_point messageUntil_{};
};

}  // namespace moddeck
