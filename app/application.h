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
    // restored, playback stopped and the audio device closed. Returns the
    // exit status: 0, or 128 + the signal.
    int Run(const std::vector<std::string>& files = {});

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
    bool loop() const { return loop_; }
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
    void SetVolume(int db);
    void SetLoop(bool loop);
    // Right/"+" and Left/"-": each press moves the module one order entry.
    void StepOrder(int delta);
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
    bool loop_ = true;
    int volumeDb_ = 0;
    bool finished_ = false;
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
