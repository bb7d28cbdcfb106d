// The terminal screen: the main view (what plays, where, how loud) and the
// About view (the title and sample names of the current file). The main
// screen is also where keys arrive.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/file_player.h"
#include "app/playlist.h"
#include "moddeck/moddeck.h"

namespace moddeck {

// Meters are drawn for this many channels at the most, an IT's limit.
constexpr int kMeterChannels = 64;

// Everything the main view shows, gathered by the event loop from what was
// learnt at the open and from the player's position and levels.
struct ScreenModel {
    std::string file;  // as the user named it
    size_t fileIndex = 0;  // 1-based place in the playlist; 0 without one
    size_t fileCount = 0;
    OpenStatus status = OpenStatus::Idle;
    moddeck_refusal refusal = MODDECK_OK;
    std::string reason;  // refused: why, with the numbers of a cut file
    std::string damage;  // a module that plays cut: what is missing
    std::string format;  // "XM", ..., "Ogg Vorbis"
    std::string title;
    int channels = 0;
    int order = 0;
    int orders = 0;  // entries of the order table
    int row = 0;
    int subsong = 0;  // 0-based, of `subsongs`
    int subsongs = 0;
    int oggRate = 0;  // 0 when unknown
    int oggChannels = 0;
    bool paused = false;
    bool finished = false;           // an Ogg stream (or a module not looping) has ended
    bool stopped = false;            // stopped by request: it starts over when played
    bool loading = false;            // `file` is being read: nothing else of it is known yet
    const char* noAudio = nullptr;   // why there is no audio output; null when there is
    double seconds = 0;              // song time
    double length = 0;               // 0 when unknown
    double loopSeconds = -1;         // where a song that never ends goes back to
    bool lengthComplete = true;      // false: the song lasts at least `length`
    int volumeDb = 0;
    LoopMode loopMode = LoopMode::File;
    bool shuffle = false;
    std::string message;             // a passing note: a skipped file, an unknown key
    uint16_t peaks[kMeterChannels] = {};
    int selectedChannel = 0;         // the channel the mute and solo keys act on
    bool silenced[kMeterChannels] = {};  // muted, or not the one playing alone
};

// The one line that says what the player is doing: "Playing.", "Paused.",
// "Finished.", "No audio output: ...", "Cannot play FILE: reason.".
std::string StatusLine(const ScreenModel& model);
// "m:ss", or "h:mm:ss" from an hour on.
std::string FormatElapsed(double seconds);
// A time as people write it: seconds ("90", "12.5"), "m:ss" or "h:mm:ss";
// false for anything else, negative or beyond a day.
bool ParseElapsed(const std::string& text, double* seconds);
// What the loop and shuffle settings are, as the main view's settings line
// ends: "   Loop: file   Shuffle: on". An Ogg stream never loops by
// itself, so for one only the list's loop is shown.
std::string LoopText(const ScreenModel& model);
// The key line at the foot of the main view; it fits 80 columns.
std::string KeyBar(const ScreenModel& model);
// The meter line of channel `channel` (0-based): its number, '>' when it is
// the chosen one, and its level, or dashes while it is silenced.
std::string MeterLine(const ScreenModel& model, int channel, int width);
// The time line: "0:42 / 2:10", "0:42 / 2:10, then again from 0:15" for a
// song that never ends, "0:42 / over 1:40:00" when the length is a lower
// bound, "0:42" without a length.
std::string TimeLine(const ScreenModel& model);
// `text` cut to `width` bytes by replacing its middle with "...", keeping as
// much of the end (the file name) as it can; never cuts a UTF-8 sequence.
std::string ElideMiddle(const std::string& text, size_t width);
// A meter of `width` cells for a peak of 0..32767: '#' for the level, '.' for the rest.
std::string MeterBar(uint16_t peak, int width);
// Splits a text at line feeds, dropping the empty piece after a final one,
// and shows control bytes as '?' so that a song cannot drive the terminal.
std::vector<std::string> DisplayLines(const std::string& text);

// A view over the main screen: a heading, a title line, a caption and a
// list of lines that scrolls (the About view, the instrument list, the help).
class ListView {
public:
    // The About texts: the title, then the sample names a line each.
    void set(const AboutTexts& about);
    // Any list; the view keeps its place when only the lines change.
    void setList(std::string heading, std::string title, std::string caption, std::vector<std::string> lines);
    void show() { visible_ = true; scroll_ = 0; }
    // Closes the view; playback does not change.
    void doOk() { visible_ = false; }
    bool visible() const { return visible_; }
    // Moves by `lines` (negative: up), kept within the list.
    void Scroll(int lines, int visibleLines);
    int firstLine() const { return scroll_; }
    const std::string& heading() const { return heading_; }
    const std::string& title() const { return title_; }
    const std::string& caption() const { return caption_; }
    const std::vector<std::string>& lines() const { return lines_; }

private:
    bool visible_ = false;
    int scroll_ = 0;
    std::string heading_ = "About";
    std::string title_;
    std::string caption_ = "Samples:";
    std::vector<std::string> lines_;
};

// The terminal, through ncurses. Open fails when there is no terminal to
// drive (no TERM, not a tty); the caller then runs without a screen.
class MainScreen {
public:
    // Draws on standard output, which must be a terminal; keys come from
    // standard input when it is one, else from the controlling terminal.
    bool Open();
    // Gives the terminal back as it was. Safe to call more than once.
    void Close();
    bool IsOpen() const { return open_; }
    // Redraws after a terminal resize.
    void Resize();
    // Draws the main view, or the list view over it when that is visible.
    void Draw(const ScreenModel& model, const ListView& view);
    // The next pending key, or -1 when none is waiting. Never waits.
    int ReadKey();
    // The descriptor keys arrive on, for the event loop to wait on.
    int InputFd() const;
    // Rows available to a list view's lines.
    int ListRows() const;

    static constexpr int kKeyEnter = 0x10000;
    static constexpr int kKeyEscape = 0x10001;
    static constexpr int kKeyUp = 0x10002;
    static constexpr int kKeyDown = 0x10003;
    static constexpr int kKeyPageUp = 0x10004;
    static constexpr int kKeyPageDown = 0x10005;
    static constexpr int kKeyResize = 0x10006;
    static constexpr int kKeyOther = 0x10007;
    static constexpr int kKeyRight = 0x10008;
    static constexpr int kKeyLeft = 0x10009;

private:
    void DrawMain(const ScreenModel& model);
    void DrawList(const ListView& view);
    bool open_ = false;
    void* screen_ = nullptr;  // the ncurses SCREEN
    FILE* input_ = nullptr;   // the controlling terminal, when standard input is not one
};

}  // namespace moddeck
