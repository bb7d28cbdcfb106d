#include "app/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "audio/input_file.h"

namespace moddeck {

namespace {

std::atomic<int> quitSignal{0};
std::atomic<bool> resizeRequested{false};
int wakePipe[2] = {-1, -1};

// Fatal-signal restore state. Written by the main thread before the screen
// starts; read only by the handler.
volatile sig_atomic_t terminalSaved = 0;
int terminalFd = -1;
termios terminalSettings;
char leaveScreen[256];
char socketPath[4096];

void Wake() {
    if (wakePipe[1] >= 0) {
        char b = 1;
        [[maybe_unused]] ssize_t n = write(wakePipe[1], &b, 1);
    }
}

void OnQuit(int sig) {
    int saved = errno;
    quitSignal.store(sig);
    // A file being read whole (a large Ogg stream takes seconds) would keep
    // the event loop from seeing the request until it was read.
    AbandonReading();
    Wake();
    errno = saved;
}

void OnResize(int) {
    int saved = errno;
    resizeRequested.store(true);
    Wake();
    errno = saved;
}

void OnFatal(int sig) {
    if (terminalSaved) {
        [[maybe_unused]] ssize_t n = write(terminalFd, leaveScreen, std::strlen(leaveScreen));
        tcsetattr(terminalFd, TCSANOW, &terminalSettings);
    }
    if (socketPath[0]) unlink(socketPath);
    // The handler was installed with SA_RESETHAND: the default action runs now.
    raise(sig);
}

void Handle(int sig, void (*handler)(int), int flags) {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = flags;
    sigaction(sig, &sa, nullptr);
}

}  // namespace

void InstallSignalHandlers() {
    if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        wakePipe[0] = wakePipe[1] = -1;
    }
    Handle(SIGINT, OnQuit, SA_RESTART);
    Handle(SIGTERM, OnQuit, SA_RESTART);
    Handle(SIGHUP, OnQuit, SA_RESTART);
    Handle(SIGWINCH, OnResize, SA_RESTART);
    Handle(SIGPIPE, SIG_IGN, 0);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT})
        Handle(sig, OnFatal, SA_RESETHAND | SA_NODEFER);
}

int QuitSignal() { return quitSignal.load(); }

bool TakeResizeRequest() { return resizeRequested.exchange(false); }

int SignalWakeFd() { return wakePipe[0]; }

void DrainSignalWake() {
    char buf[64];
    while (wakePipe[0] >= 0 && read(wakePipe[0], buf, sizeof buf) > 0) {
    }
}

void RememberTerminalForCrash(int fd, const char* leaveScreenText) {
    if (tcgetattr(fd, &terminalSettings) != 0) return;
    terminalFd = fd;
    size_t n = std::strlen(leaveScreenText);
    if (n >= sizeof leaveScreen) n = sizeof leaveScreen - 1;
    std::memcpy(leaveScreen, leaveScreenText, n);
    leaveScreen[n] = '\0';
    terminalSaved = 1;
}

void ForgetTerminalForCrash() { terminalSaved = 0; }

void RememberSocketForCrash(const char* path) {
    size_t n = std::strlen(path);
    if (n >= sizeof socketPath) n = 0;  // a cut path would name another file
    std::memcpy(socketPath, path, n);
    socketPath[n] = '\0';
}

}  // namespace moddeck
