// The player application: opens the files it is handed, runs the event loop
// and drives the screen. It plays the role a desktop application delegate
// plays: the system (here a second `moddeck` through the instance socket, or
// the command line) hands it paths, and the main screen hands it keys.
#pragma once

#include <chrono>
#include <string>

#include "app/screen.h"

namespace moddeck {

class InstanceListener;

class Application {
public:
    // `listener` may be null (no single-instance socket could be had).
    // With `useTerminal`, the screen is tried; without a terminal the
    // application plays with no screen.
    Application(InstanceListener* listener, bool useTerminal);

    // Opens `path` as the system would hand it over: stops what plays and
    // plays the file. Always answers true.
    bool OpenFile(const std::string& path);

    // Shows the About view with the current texts.
    void openAbout();

    // The event loop: returns after "q", SIGINT, SIGTERM or SIGHUP with the
    // terminal restored and playback stopped. Returns the exit status.
    int Run();

    // Handles one key from the screen; false when it asks to quit.
    bool HandleKey(int key);

    // What the screen would show now.
    ScreenModel Model() const;
    const AboutView& about() const { return about_; }

private:
    InstanceListener* listener_;
    bool useTerminal_;
    MainScreen screen_;
    AboutView about_;
    std::string file_;
    bool announce_ = false;  // a file was opened since the last report
    std::chrono::steady_clock::time_point started_;
};

}  // namespace moddeck
