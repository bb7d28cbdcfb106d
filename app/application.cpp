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
    "* or 0         volume up by 1 dB",
    "/ or 9         volume down by 1 dB",
    "l              loop the module on / off (off: go on to the next file)",
    "a              about: title and sample names",
    "i              instruments and samples",
    "h or ?         these keys",
    "q              quit",
};

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
    PlayCurrent();
}

void Application::Enqueue(const std::vector<std::string>& paths) {
    const bool wasEmpty = playlist_.empty();
    const bool atEnd = !wasEmpty && playlist_.index() + 1 == playlist_.size();
    const size_t taken = playlist_.Enqueue(paths);
    Note("Added " + std::to_string(taken) + (taken == 1 ? " file" : " files") + " to the playlist");
    if (taken == 0) return;
    if (wasEmpty)
        PlayCurrent();
    else if (atEnd && (finished_ || file_.opened().status == OpenStatus::Refused) && playlist_.Next())
        PlayCurrent();
}

void Application::PlayCurrent() {
    for (size_t tries = 0; tries <= playlist_.size() && !playlist_.empty(); tries++) {
        path_ = playlist_.current();
        // A new file is heard at once, whatever was paused before.
        SetPaused(false);
        if (path_ == kStandardInputName)
            file_.OpenImage("standard input", standardInput_);
        else
            file_.Open(path_);
        FillView();
        finished_ = false;
        clockBase_ = 0;
        clockSince_ = Clock::now();
        clockRunning_ = false;
        const OpenedFile& opened = file_.opened();
        if (opened.status != OpenStatus::Refused) {
            if (!screen_.IsOpen())
                std::fprintf(stderr, "moddeck: playing %s (%s)%s%s\n", ReadableFileName(path_).c_str(),
                             opened.format.c_str(), opened.damage.empty() ? "" : ", ", opened.damage.c_str());
            return;
        }
        const std::string why = ReadableFileName(path_) + ": " + opened.reason;
        if (!playlist_.Skip()) {
            if (!screen_.IsOpen()) std::fprintf(stderr, "moddeck: cannot play %s\n", why.c_str());
            return;
        }
        Note("Skipped " + why);
    }
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
            view_.setList("Instruments", TitleLine(opened.about),
                          opened.format == "XM" ? "Instruments and their samples:" : "Samples:", opened.instruments);
            break;
        }
    }
}

void Application::SetPaused(bool paused) {
    paused_ = paused;
    audio_.SetPaused(paused);
    file_.SetPaused(paused);
}

void Application::SetVolume(int db) {
    volumeDb_ = std::clamp(db, kMinVolumeDb, kMaxVolumeDb);
    audio_.SetGain(static_cast<float>(std::pow(10.0, volumeDb_ / 20.0)));
}

void Application::SetLoop(bool loop) {
    loop_ = loop;
    file_.SetLoop(loop);
    // A module that ended without looping starts over when looping is
    // turned on again.
    if (loop && file_.opened().status == OpenStatus::ModulePlaying) finished_ = false;
    Note(std::string("Loop ") + (loop ? "on" : "off"));
}

void Application::Note(const std::string& text) {
    if (!screen_.IsOpen()) std::fprintf(stderr, "moddeck: %s\n", text.c_str());
    message_ = text;
    messageUntil_ = Clock::now() + kNoteShown;
}

bool Application::ClockRuns() const {
    return file_.opened().status == OpenStatus::OggPlaying && !paused_ && !finished_ && audio_.failure() == nullptr;
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
    switch (key) {
        case MainScreen::kKeyResize: screen_.Resize(); return true;
        case 'a': case 'A': ShowView(View::About); return true;
        case 'h': case 'H': case '?': ShowView(View::Keys); return true;
        case 'i': case 'I': ShowView(View::Instruments); return true;
        case ' ': if (Playing(file_.opened().status)) SetPaused(!paused_); return true;
        case 'n': case 'N': if (playlist_.Next()) PlayCurrent(); else Note("This is the last file"); return true;
        case 'p': case 'P': if (playlist_.Previous()) PlayCurrent(); else Note("This is the first file"); return true;
        case '*': case '0': SetVolume(volumeDb_ + kVolumeStepDb); return true;
        case '/': case '9': SetVolume(volumeDb_ - kVolumeStepDb); return true;
        case 'l': case 'L': SetLoop(!loop_); return true;
        case MainScreen::kKeyRight: case '+': StepOrder(+1); return true;
        case MainScreen::kKeyLeft: case '-': StepOrder(-1); return true;
        case MainScreen::kKeyEnter:
        case MainScreen::kKeyEscape: return true;
        default: break;
    }
    Note("Unknown key: h shows the keys");
    return true;
}

void Application::StepOrder(int delta) {
    // A module only: an Ogg stream has no order table to move in.
    if (moddeck_player* player = file_.player()) moddeck_player_step_order(player, delta);
}

void Application::Update() {
    const auto now = Clock::now();
    if (!finished_) {
        // A module ends only when it does not loop; looping on again, its
        // player starts it over.
        moddeck_position position = {};
        if (file_.player()) moddeck_player_position(file_.player(), &position);
        finished_ = file_.OggEnded() || (!loop_ && position.ended);
        if (finished_) finishedAt_ = now;
    }
    const bool runs = ClockRuns();
    if (runs != clockRunning_) {
        clockBase_ = ClockSeconds();
        clockSince_ = now;
        clockRunning_ = runs;
    }
    if (finished_ && !paused_ && now >= finishedAt_ + kQueuedAudio && playlist_.index() + 1 < playlist_.size()) {
        playlist_.Next();
        PlayCurrent();
    }
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
    m.oggRate = opened.oggRate;
    m.oggChannels = opened.oggChannels;
    m.paused = paused_;
    m.finished = finished_;
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
        moddeck_player_levels(player, m.peaks, kMeterChannels);
    }
    m.length = opened.seconds;
    m.loopSeconds = opened.loopSeconds;
    m.lengthComplete = opened.lengthComplete;
    if (m.length > 0) m.seconds = std::min(m.seconds, m.length);
    m.volumeDb = volumeDb_;
    m.loop = loop_;
    m.message = message_;
    return m;
}

int Application::Run(const std::vector<std::string>& files) {
    // The device first: what OpenAL has to say about it goes to the terminal
    // before the screen takes it, and without a device the screen says so
    // from the start.
    audio_.BringUp();
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
    while (running && !QuitSignal()) {
        auto now = Clock::now();
        if (screen_.IsOpen() && now >= nextFrame) {
            screen_.Draw(Model(), view_);
            nextFrame = now + kFrameInterval;
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
        Update();
        bus.Process();
        running = running && !controls.quitAsked();
    }
    bus.Close();
    screen_.Close();
    // Stop the output threads before the process tears down the state they
    // read, then close the device so that nothing is left open at exit.
    SetPaused(false);
    file_.Stop();
    audio_.ShutDown();
    return QuitSignal() ? 128 + QuitSignal() : 0;
}

}  // namespace moddeck
