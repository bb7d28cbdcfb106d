// Signals of the player process. SIGINT, SIGTERM and SIGHUP ask the event
// loop to quit (it then restores the terminal and stops playback in order)
// and abandon any file being read, so that a load in progress ends at once;
// SIGWINCH asks for a redraw; a fatal signal restores the terminal and
// removes the socket itself, then dies of the same signal.
#pragma once

namespace moddeck {

// Installs the handlers and the wake-up pipe. Call once, before the screen.
void InstallSignalHandlers();

// The signal that asked to quit, 0 while none has.
int QuitSignal();
// True once after each SIGWINCH.
bool TakeResizeRequest();

// Readable when a signal has arrived, so that a waiting event loop wakes at
// once; DrainSignalWake empties it.
int SignalWakeFd();
void DrainSignalWake();

// What a fatal signal must undo, kept in fixed storage because the handler
// may use only async-signal-safe calls: the terminal's settings as they were
// before the screen took it, with the text that leaves full-screen mode, and
// the socket file. Texts longer than the storage are cut.
void RememberTerminalForCrash(int fd, const char* leaveScreenText);
void ForgetTerminalForCrash();
void RememberSocketForCrash(const char* path);

}  // namespace moddeck
