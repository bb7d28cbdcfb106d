#include "app/application.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "app/instance.h"
#include "app/keys.h"
#include "app/open_file.h"
#include "app/signals.h"
#include "engine/output.h"
#include "engine/player.h"
#include "ogg/ogg_player.h"

namespace moddeck {

namespace {

// A few frames a second are enough for meters and a clock, and keep the
// player's own CPU use negligible.
constexpr std::chrono::milliseconds kFrameInterval{100};
// Without a screen the loop only waits for signals and the socket; it wakes
// now and then to drop connections that never finish their message.
constexpr std::chrono::milliseconds kHeadlessWait{250};

}  // namespace

Application::Application(InstanceListener* listener, bool useTerminal)
    : listener_(listener), useTerminal_(useTerminal), started_(std::chrono::steady_clock::now()) {}

bool Application::OpenFile(const std::string& path) {
    file_ = path;
    started_ = std::chrono::steady_clock::now();
    openFile(path.c_str());
    // The view shows the new file's texts from now on, even while open.
    about_.set(TitleSong, SamplesSong);
    announce_ = true;
    return true;
}

void Application::openAbout() {
    about_.set(TitleSong, SamplesSong);
    about_.show();
}

bool Application::HandleKey(int key) {
    if (key == 'q' || key == 'Q') return false;
    if (about_.visible()) {
        int rows = screen_.AboutListRows();
        switch (key) {
            case MainScreen::kKeyEnter:
            case MainScreen::kKeyEscape: about_.doOk(); return true;
            case MainScreen::kKeyUp: about_.Scroll(-1, rows); return true;
            case MainScreen::kKeyDown: about_.Scroll(1, rows); return true;
            case MainScreen::kKeyPageUp: about_.Scroll(-rows, rows); return true;
            case MainScreen::kKeyPageDown: about_.Scroll(rows, rows); return true;
            default: break;
        }
    }
    if (key == MainScreen::kKeyResize) {
        screen_.Resize();
        return true;
    }
    if (key == 'a' || key == 'A') {
        openAbout();
        return true;
    }
    if (key >= 0 && key < MainScreen::kKeyEnter) RecordKey(uint32_t(key));
    return true;
}

ScreenModel Application::Model() const {
    ScreenModel m;
    m.file = file_;
    m.status = openedFile.status;
    m.format = openedFile.format;
    m.title = about_.title();
    m.channels = openedFile.channels;
    m.songLength = openedFile.songLength;
    m.oggRate = openedFile.oggRate;
    m.oggChannels = openedFile.oggChannels;
    const Player& player = ProcessPlayer();
    m.order = player.pattern.load(std::memory_order_relaxed);
    m.row = player.meters.row.load(std::memory_order_relaxed);
    m.elapsedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    for (int c = 0; c < kMaxChannels; c++) m.peaks[c] = player.meters.peak[c].load(std::memory_order_relaxed);
    return m;
}

int Application::Run() {
    if (useTerminal_) screen_.Open();
    ProcessPlayer().meters.wanted = screen_.IsOpen();
    about_.set(TitleSong, SamplesSong);
    auto nextFrame = std::chrono::steady_clock::now();
    bool running = true;
    std::vector<pollfd> fds;
    std::vector<std::string> requests;
    while (running && !QuitSignal()) {
        auto now = std::chrono::steady_clock::now();
        if (screen_.IsOpen() && now >= nextFrame) {
            screen_.Draw(Model(), about_);
            nextFrame = now + kFrameInterval;
        }
        fds.clear();
        if (screen_.IsOpen()) fds.push_back({STDIN_FILENO, POLLIN, 0});
        if (SignalWakeFd() >= 0) fds.push_back({SignalWakeFd(), POLLIN, 0});
        if (listener_) listener_->AddPollFds(fds);
        auto wait = screen_.IsOpen()
                        ? std::chrono::duration_cast<std::chrono::milliseconds>(nextFrame - now)
                        : kHeadlessWait;
        poll(fds.data(), fds.size(), int(std::max<int64_t>(1, wait.count())));

        DrainSignalWake();
        if (TakeResizeRequest() && screen_.IsOpen()) {
            screen_.Resize();
            nextFrame = std::chrono::steady_clock::now();
        }
        for (int key; running && (key = screen_.ReadKey()) >= 0;) {
            running = HandleKey(key);
            nextFrame = std::chrono::steady_clock::now();  // answer a key at once
        }
        if (listener_) {
            requests.clear();
            listener_->Service(requests);
            // Each open replaces the one before: only the last one matters.
            if (!requests.empty()) {
                OpenFile(requests.back());
                nextFrame = std::chrono::steady_clock::now();
            }
        }
        // All keys read in this turn give at most one step.
        ApplyKeys();
        // Without a screen, one line on stderr tells what each file did.
        if (announce_ && !screen_.IsOpen()) {
            ScreenModel m = Model();
            std::string line = StatusLine(m);
            if (m.status == OpenStatus::ModulePlaying || m.status == OpenStatus::OggPlaying)
                line = "Playing " + m.file + " (" + FormatName(m.format) + ")";
            std::fprintf(stderr, "moddeck: %s\n", line.c_str());
        }
        announce_ = false;
    }
    screen_.Close();
    // Stop the output threads before the process tears down the state they read.
    StopModulePlayer();
    StopOggPlayer();
    return 0;
}

}  // namespace moddeck
