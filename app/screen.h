// The terminal screen: the main view (what plays, where, how loud) and the
// About view (the title and sample names of the current file). The main
// screen is also where keys arrive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/open_file.h"
#include "song/song.h"

namespace moddeck {

// Everything the main view shows, gathered by the event loop from the
// shell's own state and the published meters, never from the renderer.
struct ScreenModel {
    std::string file;  // as the user named it
    OpenStatus status = OpenStatus::Idle;
    FileFormat format = FileFormat::None;
    std::string title;
    int32_t channels = 0;
    int32_t order = 0;
    int32_t songLength = 0;
    int32_t row = 0;
    int32_t oggRate = 0;  // 0 when unknown
    int32_t oggChannels = 0;
    double elapsedSeconds = 0;
    uint16_t peaks[kMaxChannels] = {};
};

// The one line that says what the player is doing.
std::string StatusLine(const ScreenModel& model);
// "m:ss", or "h:mm:ss" from an hour on.
std::string FormatElapsed(double seconds);
// A meter of `width` cells for a peak of 0..32767: '#' for the level, '.' for the rest.
std::string MeterBar(uint16_t peak, int width);
// Splits a text at line feeds, dropping the empty piece after a final one,
// and shows control bytes as '?' so that a song cannot drive the terminal.
std::vector<std::string> DisplayLines(const char* text);

// The About view: its two texts and where it is scrolled to.
class AboutView {
public:
    // Replaces the texts (title, then sample names a line each).
    void set(const char* title, const char* samples);
    void show() { visible_ = true; scroll_ = 0; }
    // Closes the view; playback does not change.
    void doOk() { visible_ = false; }
    bool visible() const { return visible_; }
    // Moves by `lines` (negative: up), kept within the sample lines.
    void Scroll(int lines, int visibleLines);
    int firstLine() const { return scroll_; }
    const std::string& title() const { return title_; }
    const std::vector<std::string>& samples() const { return samples_; }

private:
    bool visible_ = false;
    int scroll_ = 0;
    std::string title_;
    std::vector<std::string> samples_;
};

// The terminal, through ncurses. Open fails when there is no terminal to
// drive (no TERM, not a tty); the caller then runs without a screen.
class MainScreen {
public:
    bool Open();
    // Gives the terminal back as it was. Safe to call more than once.
    void Close();
    bool IsOpen() const { return open_; }
    // Redraws after a terminal resize.
    void Resize();
    // Draws the main view, or the About view over it when that is visible.
    void Draw(const ScreenModel& model, const AboutView& about);
    // The next pending key, or -1 when none is waiting. Never waits.
    int ReadKey();
    // Rows available to the About view's sample list.
    int AboutListRows() const;

    static constexpr int kKeyEnter = 0x10000;
    static constexpr int kKeyEscape = 0x10001;
    static constexpr int kKeyUp = 0x10002;
    static constexpr int kKeyDown = 0x10003;
    static constexpr int kKeyPageUp = 0x10004;
    static constexpr int kKeyPageDown = 0x10005;
    static constexpr int kKeyResize = 0x10006;
    static constexpr int kKeyOther = 0x10007;

private:
    void DrawMain(const ScreenModel& model);
    void DrawAbout(const AboutView& about);
    bool open_ = false;
    void* screen_ = nullptr;  // the ncurses SCREEN
};

}  // namespace moddeck
