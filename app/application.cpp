#include "app/application.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/desktop_controls.h"
#include "app/instance.h"
#include "app/signals.h"
#include "audio/file_name.h"

namespace moddeck {

namespace {

// A few frames a second are enough for meters and a clock, and keep the
// player's own CPU use negligible.
constexpr std::chrono::milliseconds kFrameInterval{100};
// Without a screen the loop only waits for signals and the socket; it wakes
// now and then to drop connections that never finish their message and to
// move on at the end of a file.
constexpr std::chrono::milliseconds kHeadlessWait{100};
// When a file ends, its last blocks are still queued for OpenAL: the next
// file starts once they have been heard.
constexpr std::chrono::milliseconds kQueuedAudio{kOutputBuffers * 100};
constexpr std::chrono::seconds kNoteShown{4};

const std::vector<std::string> kKeysHelp = {
    "Space          pause / resume",
    "n / p          next / previous file of the playlist",
    "Right or +     next entry of the order table (modules)",
    "Left or -      previous entry of the order table (modules)",
    ". / ,          forward / back 5 seconds",
    "> / <          forward / back 10 seconds",
    "] / [          next / previous subsong (modules)",
    "Up / Down      choose a channel (modules; marked > on the meters)",
    "m              mute / unmute the channel chosen",
    "o              play the channel chosen alone / all channels again",
    "* or 0         volume up by 1 dB",
    "/ or 9         volume down by 1 dB",
    "l              loop: off, the file (a module), the list",
    "s              shuffle the playlist on / off",
    "a              about: title and sample names",
    "i              instruments and samples",
    "h or ?         these keys",
    "q              quit",
};

// When nothing plays, the screen only changes with a key, a hand-off or a
// passing note: a redraw a second keeps an idle player at no CPU.
constexpr std::chrono::milliseconds kIdleFrameInterval{1000};

bool Playing(OpenStatus s) { return s == OpenStatus::ModulePlaying || s == OpenStatus::OggPlaying; }

// The title as one line that cannot drive the terminal.
std::string TitleLine(const AboutTexts& about) {
    const std::vector<std::string> lines = DisplayLines(about.title);
    return lines.empty() ? std::string() : lines[0];
}

}  // namespace

Application::Application(InstanceListener* listener, bool useTerminal)
    : listener_(listener), useTerminal_(useTerminal) {}

void Application::Play(const std::vector<std::string>& paths) {
    playlist_.Replace(paths);
    FollowListSize();
    PlayCurrent();
}

void Application::Enqueue(const std::vector<std::string>& paths) {
    const bool wasEmpty = playlist_.empty();
    const bool atEnd = !wasEmpty && playlist_.index() + 1 == playlist_.size();
    const size_t taken = playlist_.Enqueue(paths);
    Note("Added " + std::to_string(taken) + (taken == 1 ? " file" : " files") + " to the playlist");
    if (taken == 0) return;
    FollowListSize();
    if (wasEmpty)
        PlayCurrent();
    else if (atEnd && halted_ && !stopped_ && playlist_.Next())
        PlayCurrent();
}

void Application::FollowListSize() {
    if (loopChosen_) return;
    loopMode_ = playlist_.size() > 1 ? LoopMode::Off : LoopMode::File;
    file_.SetLoop(loopMode_ == LoopMode::File);
}

void Application::BringUpAudio() {
    if (audioWanted_) audio_.BringUp();
}

void Application::PlayCurrent() {
    for (size_t tries = 0; tries <= playlist_.size() && !playlist_.empty(); tries++) {
        path_ = playlist_.current();
        // A new file is heard at once, whatever was paused before.
        SetPaused(false);
        halted_ = stopped_ = false;
        BringUpAudio();
        if (Unheard()) return GiveUpUnheard();
        DrawLoading();
        if (path_ == kStandardInputName)
            file_.OpenImage("standard input", standardInput_);
        else
            file_.Open(path_);
        // A quit signal abandons the load: the player is on its way out and
        // has nothing more to say about this file or the next ones.
        if (QuitSignal()) return;
        FillView();
        finished_ = false;
        clockBase_ = 0;
        clockSince_ = Clock::now();
        clockRunning_ = false;
        channels_.Reset(file_.opened().channels);
        const OpenedFile& opened = file_.opened();
        if (opened.status != OpenStatus::Refused) {
            anyPlayed_ = true;
            if (!screen_.IsOpen())
                std::fprintf(stderr, "moddeck: playing %s (%s)%s%s\n", ReadableFileName(path_).c_str(),
                             opened.format.c_str(), opened.damage.empty() ? "" : ", ", opened.damage.c_str());
            if (startSeek_ >= 0) SeekTo(startSeek_);
            startSeek_ = -1;
            return;
        }
        const std::string why = ReadableFileName(path_) + ": " + opened.reason;
        if (!playlist_.Skip(loopMode_ == LoopMode::List)) {
            if (!screen_.IsOpen()) std::fprintf(stderr, "moddeck: cannot play %s\n", why.c_str());
            break;
        }
        Note("Skipped " + why);
    }
    Halt();
}

void Application::DrawLoading() {
    if (!screen_.IsOpen()) return;
    ScreenModel m = Model();
    m.status = OpenStatus::Idle;  // what was shown belongs to the file before
    m.loading = true;
    screen_.Draw(m, view_);
}

bool Application::Unheard() const { return audioWanted_ && audio_.failure() && !screen_.IsOpen(); }

void Application::GiveUpUnheard() {
    std::fprintf(stderr,
                 "moddeck: cannot play %s: no audio output: %s\n"
                 "moddeck: ALSOFT_CONF can name a configuration that writes the sound to a file\n",
                 ReadableFileName(path_).c_str(), audio_.failure());
    unheard_ = true;
    Halt();
}

void Application::Halt() {
    file_.StopOutput();
    halted_ = true;
    if (audioWanted_) audio_.ShutDown();
    if (!screen_.IsOpen()) done_ = true;
}

void Application::MoveOn() {
    if (playlist_.Next(loopMode_ == LoopMode::List))
        PlayCurrent();
    else
        Halt();
}

void Application::ShowView(View view) {
    viewKind_ = view;
    FillView();
    view_.show();
}

void Application::FillView() {
    switch (viewKind_) {
        case View::About: view_.set(file_.opened().about); break;
        case View::Keys: view_.setList("Keys", "Moddeck " MODDECK_VERSION, "", kKeysHelp); break;
        case View::Instruments: {
            const OpenedFile& opened = file_.opened();
            // An IT song's lines head their own parts: its instruments, then its samples.
            const char* caption = opened.format == "XM" ? "Instruments and their samples:"
                                  : opened.format == "IT" ? ""
                                                          : "Samples:";
            view_.setList("Instruments", TitleLine(opened.about), caption, opened.instruments);
            break;
        }
    }
}

void Application::SetPaused(bool paused) {
    paused_ = paused;
    audio_.SetPaused(paused);
    file_.SetPaused(paused);
}

bool Application::Playable() const { return Playing(file_.opened().status) && !halted_; }

void Application::Play() {
    if (halted_ && !playlist_.empty())
        PlayCurrent();
    else if (paused_)
        SetPaused(false);
}

void Application::Pause() {
    if (Playable() && !finished_) SetPaused(true);
}

void Application::PlayPause() {
    if (paused_ || halted_)
        Play();
    else if (Playable())
        Pause();
    else
        Note("Nothing plays: n, p or moddeck FILE to play");
}

void Application::Stop() {
    if (!Playing(file_.opened().status) || halted_) return;
    SetPaused(false);
    Halt();
    stopped_ = true;
}

bool Application::Next() { return StepFile(true); }

bool Application::Previous() { return StepFile(false); }

bool Application::StepFile(bool forward) {
    const bool wrap = loopMode_ == LoopMode::List;
    if (forward ? playlist_.Next(wrap) : playlist_.Previous(wrap)) {
        PlayCurrent();
        return true;
    }
    Note(forward ? "This is the last file" : "This is the first file");
    return false;
}

bool Application::SeekBy(double seconds) {
    double from = ClockSeconds();
    if (file_.MovePending())
        from = seekTarget_;
    else if (moddeck_player* player = file_.player()) {
        moddeck_position position;
        moddeck_player_position(player, &position);
        from = position.seconds;
    }
    return SeekTo(from + seconds);
}

bool Application::SeekTo(double seconds) {
    const OpenedFile& opened = file_.opened();
    if (!Playable() || finished_) {
        Note(finished_ ? "The file has ended: nothing to seek in" : "Nothing plays: nothing to seek in");
        return false;
    }
    if (opened.status == OpenStatus::OggPlaying && opened.seconds > 0) seconds = std::min(seconds, opened.seconds);
    if (!file_.SeekTo(seconds)) {
        Note("This Ogg stream cannot seek: its length is unknown");
        return false;
    }
    seekTarget_ = std::max(0.0, seconds);
    clockBase_ = seekTarget_;
    clockSince_ = Clock::now();
    return true;
}

void Application::SetVolume(int db) {
    volumeDb_ = std::clamp(db, kMinVolumeDb, kMaxVolumeDb);
    audio_.SetGain(static_cast<float>(std::pow(10.0, volumeDb_ / 20.0)));
}

void Application::StepVolume(int db) {
    const int before = volumeDb_;
    SetVolume(volumeDb_ + db);
    if (volumeDb_ == before) Note(db > 0 ? "The volume is at its highest" : "The volume is at its lowest");
}

void Application::SetLoopMode(LoopMode mode) {
    loopMode_ = mode;
    loopChosen_ = true;
    file_.SetLoop(mode == LoopMode::File);
    // A module that ended without looping starts over when looping is
    // turned on again.
    if (mode == LoopMode::File && file_.opened().status == OpenStatus::ModulePlaying && finished_) {
        finished_ = false;
        if (halted_ && !stopped_) {
            halted_ = false;
            BringUpAudio();
            file_.RestartOutput();
        }
    }
}

void Application::SetShuffle(bool shuffle) {
    playlist_.SetShuffle(shuffle);
}

void Application::CycleLoopMode() {
    static const char* const kMeaning[] = {"off (each file once, then the next)", "file (a module plays again)",
                                           "list (after the last file, the first)"};
    SetLoopMode(NextLoopMode(loopMode_));
    Note(std::string("Loop: ") + kMeaning[int(loopMode_)]);
}

void Application::ToggleShuffle() {
    SetShuffle(!playlist_.shuffle());
    Note(shuffle() ? "Shuffle on: the files play in a new order" : "Shuffle off: the files play in their order");
}

NowPlaying Application::nowPlaying() const {
    NowPlaying now;
    const OpenedFile& opened = file_.opened();
    if (!Playing(opened.status)) return now;
    now.status = !Playable() || finished_ ? NowPlaying::Status::Stopped
                 : paused_              ? NowPlaying::Status::Paused
                                        : NowPlaying::Status::Playing;
    const ScreenModel m = Model();
    now.title = m.title.empty() ? path_.substr(path_.rfind('/') + 1) : m.title;
    now.path = path_;
    now.length = m.length;
    now.position = m.seconds;
    now.canSeek = Playable() && !finished_ && (opened.status == OpenStatus::ModulePlaying || opened.seconds > 0);
    return now;
}

void Application::Note(const std::string& text) {
    if (!screen_.IsOpen()) std::fprintf(stderr, "moddeck: %s\n", text.c_str());
    message_ = text;
    messageUntil_ = Clock::now() + kNoteShown;
}

bool Application::ClockRuns() const {
    return file_.opened().status == OpenStatus::OggPlaying && !paused_ && !finished_ && !halted_ &&
           audio_.failure() == nullptr;
}

double Application::ClockSeconds() const {
    const double running = clockRunning_ ? std::chrono::duration<double>(Clock::now() - clockSince_).count() : 0;
    return clockBase_ + running;
}

bool Application::HandleKey(int key) {
    if (key == 'q' || key == 'Q') return false;
    if (view_.visible()) {
        int rows = screen_.ListRows();
        switch (key) {
            case MainScreen::kKeyEnter:
            case MainScreen::kKeyEscape: view_.doOk(); return true;
            case MainScreen::kKeyUp: view_.Scroll(-1, rows); return true;
            case MainScreen::kKeyDown: view_.Scroll(1, rows); return true;
            case MainScreen::kKeyPageUp: view_.Scroll(-rows, rows); return true;
            case MainScreen::kKeyPageDown: view_.Scroll(rows, rows); return true;
            default: break;
        }
    }
    if (!HandleMainKey(key)) Note("Unknown key: h shows the keys");
    return true;
}

bool Application::HandleMainKey(int key) {
    switch (key) {
        case MainScreen::kKeyResize: screen_.Resize(); return true;
        case 'a': case 'A': ShowView(View::About); return true;
        case 'h': case 'H': case '?': ShowView(View::Keys); return true;
        case 'i': case 'I': ShowView(View::Instruments); return true;
        case ' ': PlayPause(); return true;
        case 'n': case 'N': Next(); return true;
        case 'p': case 'P': Previous(); return true;
        case '*': case '0': StepVolume(kVolumeStepDb); return true;
        case '/': case '9': StepVolume(-kVolumeStepDb); return true;
        case 'l': case 'L': CycleLoopMode(); return true;
        case 's': case 'S': ToggleShuffle(); return true;
        case MainScreen::kKeyRight: case '+': StepOrder(+1); return true;
        case MainScreen::kKeyLeft: case '-': StepOrder(-1); return true;
        case '.': SeekBy(kShortSeek); return true;
        case ',': SeekBy(-kShortSeek); return true;
        case '>': SeekBy(kLongSeek); return true;
        case '<': SeekBy(-kLongSeek); return true;
        case ']': StepSubsong(+1); return true;
        case '[': StepSubsong(-1); return true;
        case MainScreen::kKeyDown: SelectChannel(+1); return true;
        case MainScreen::kKeyUp: SelectChannel(-1); return true;
        case 'm': case 'M': ToggleMute(); return true;
        case 'o': case 'O': ToggleSolo(); return true;
        case MainScreen::kKeyEnter:
        case MainScreen::kKeyEscape:
        case MainScreen::kKeyOther: return true;
        default: return false;
    }
}

void Application::StepOrder(int delta) {
    moddeck_player* player = file_.player();
    if (!player || !Playable() || finished_)
        Note(file_.opened().status == OpenStatus::OggPlaying ? "An Ogg file has no order table: , . < > seek"
                                                              : "No module plays: no order to move to");
    else
        moddeck_player_step_order(player, delta);
}

void Application::StepSubsong(int delta) {
    const OpenedFile& opened = file_.opened();
    if (opened.status != OpenStatus::ModulePlaying || !Playable()) {
        Note("Only a module that plays has subsongs");
        return;
    }
    const int subsong = opened.subsong + delta;
    if (opened.subsongs <= 1) {
        Note("This module has one subsong");
    } else if (!file_.SelectSubsong(subsong)) {
        Note(delta > 0 ? "This is the last subsong" : "This is the first subsong");
    } else {
        finished_ = false;
        seekTarget_ = 0;  // a seek asked before the subsong is taken counts from its start
        Note("Subsong " + std::to_string(subsong + 1) + " of " + std::to_string(opened.subsongs));
    }
}

void Application::SelectChannel(int delta) {
    if (!file_.player()) return Note("Only a module's channels can be chosen");
    channels_.Select(delta);
}

void Application::ToggleMute() {
    if (!file_.player()) return Note("Only a module's channels can be muted");
    if (!channels_.ToggleMute())
        return Note("Channel " + std::to_string(channels_.solo() + 1) + " plays alone: o ends that");
    ApplyChannelGains();
}

void Application::ToggleSolo() {
    if (!file_.player()) return Note("Only a module's channels can play alone");
    channels_.ToggleSolo();
    ApplyChannelGains();
}

void Application::ApplyChannelGains() {
    moddeck_player* player = file_.player();
    for (int c = 0; player && c < std::min(file_.opened().channels, ChannelChoice::kMaxChannels); c++)
        moddeck_player_set_channel_gain(player, c, channels_.Silenced(c) ? 0.0f : 1.0f);
}

void Application::Update() {
    const auto now = Clock::now();
    if (!finished_ && Playable()) {
        // A module ends only when it does not loop; looping on again, its
        // player starts it over.
        moddeck_position position = {};
        if (file_.player()) moddeck_player_position(file_.player(), &position);
        finished_ = file_.OggEnded() || (loopMode_ != LoopMode::File && position.ended);
        if (finished_) finishedAt_ = now;
    }
    const bool runs = ClockRuns();
    if (runs != clockRunning_) {
        clockBase_ = ClockSeconds();
        clockSince_ = now;
        clockRunning_ = runs;
    }
    // The next file starts once the last blocks of this one have been heard.
    if (finished_ && !halted_ && !paused_ && now >= finishedAt_ + kQueuedAudio) MoveOn();
    if (!message_.empty() && now >= messageUntil_) message_.clear();
}

ScreenModel Application::Model() const {
    ScreenModel m;
    m.file = ReadableFileName(path_);
    if (!playlist_.empty()) {
        m.fileIndex = playlist_.index() + 1;
        m.fileCount = playlist_.size();
    }
    const OpenedFile& opened = file_.opened();
    m.status = opened.status;
    m.refusal = opened.refusal;
    m.reason = opened.reason;
    m.damage = opened.damage;
    m.format = opened.format;
    m.title = TitleLine(opened.about);
    m.channels = opened.channels;
    m.orders = opened.orders;
    m.subsong = opened.subsong;
    m.subsongs = opened.subsongs;
    m.oggRate = opened.oggRate;
    m.oggChannels = opened.oggChannels;
    m.paused = paused_;
    // Finished once the end has been heard and the device let go.
    m.finished = halted_ && !stopped_;
    m.stopped = stopped_;
    m.noAudio = audio_.failure();
    m.seconds = ClockSeconds();
    if (moddeck_player* player = file_.player()) {
        // A module's time is its player's: it goes back with a song that
        // jumps back, and follows the order keys.
        moddeck_position position;
        moddeck_player_position(player, &position);
        m.order = position.order;
        m.row = position.row;
        m.seconds = position.seconds;
        // The first call switches the player's levels on.
        if (!halted_) moddeck_player_levels(player, m.peaks, kMeterChannels);
    }
    m.length = opened.seconds;
    m.loopSeconds = opened.loopSeconds;
    m.lengthComplete = opened.lengthComplete;
    if (m.length > 0) m.seconds = std::min(m.seconds, m.length);
    m.volumeDb = volumeDb_;
    m.loopMode = loopMode_;
    m.shuffle = playlist_.shuffle();
    m.selectedChannel = channels_.selected();
    for (int c = 0; c < kMeterChannels; c++) m.silenced[c] = channels_.Silenced(c);
    m.message = message_;
    return m;
}

int Application::Run(const std::vector<std::string>& files) {
    // OpenAL is brought up for each file that plays and let go when nothing
    // does, so that an idle player holds no device and costs nothing.
    audioWanted_ = true;
    if (useTerminal_) screen_.Open();
    if (!files.empty()) Play(files);
    // The desktop's media keys and panel, when there is a session bus.
    DesktopControls controls(*this);
    MprisBus bus;
    bus.Open(controls);
    auto nextFrame = Clock::now();
    bool running = true;
    std::vector<pollfd> fds;
    std::vector<Request> requests;
    while (running && !done_ && !QuitSignal()) {
        auto now = Clock::now();
        if (screen_.IsOpen() && now >= nextFrame) {
            screen_.Draw(Model(), view_);
            const bool active = Playable() && !paused_ && !finished_;
            nextFrame = now + (active || !message_.empty() ? kFrameInterval : kIdleFrameInterval);
        }
        fds.clear();
        if (screen_.IsOpen()) fds.push_back({screen_.InputFd(), POLLIN, 0});
        if (SignalWakeFd() >= 0) fds.push_back({SignalWakeFd(), POLLIN, 0});
        if (listener_) listener_->AddPollFds(fds);
        if (bus.IsOpen()) fds.push_back({bus.Fd(), bus.Events(), 0});
        auto wait = screen_.IsOpen() ? std::chrono::duration_cast<std::chrono::milliseconds>(nextFrame - now)
                                     : kHeadlessWait;
        poll(fds.data(), fds.size(), int(std::max<int64_t>(1, wait.count())));

        DrainSignalWake();
        if (TakeResizeRequest() && screen_.IsOpen()) {
            screen_.Resize();
            nextFrame = Clock::now();
        }
        for (int key; running && (key = screen_.ReadKey()) >= 0;) {
            running = HandleKey(key);
            nextFrame = Clock::now();  // answer a key at once
        }
        if (listener_) {
            requests.clear();
            listener_->Service(requests);
            for (const Request& r : requests) {
                if (r.command == Command::Quit) running = false;
                if (r.command == Command::Open) Play(r.paths);
                if (r.command == Command::Enqueue) Enqueue(r.paths);
            }
            if (!requests.empty()) nextFrame = Clock::now();
        }
        const bool wasFinished = finished_ || halted_;
        Update();
        bus.Process();
        running = running && !controls.quitAsked();
        if ((finished_ || halted_) != wasFinished) nextFrame = Clock::now();
    }
    bus.Close();
    screen_.Close();
    // Stop the output threads before the process tears down the state they
    // read, then close the device so that nothing is left open at exit.
    SetPaused(false);
    file_.Stop();
    audio_.ShutDown();
    if (QuitSignal()) return 128 + QuitSignal();
    return done_ && (!anyPlayed_ || unheard_) ? 1 : 0;
}

}  // namespace moddeck
