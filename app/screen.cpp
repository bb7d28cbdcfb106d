#include "app/screen.h"

#include <ncurses.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/signals.h"

namespace moddeck {

std::string StatusLine(const ScreenModel& m) {
    switch (m.status) {
        case OpenStatus::Idle: return "Nothing is playing. Open a file with: moddeck FILE";
        case OpenStatus::ModulePlaying:
        case OpenStatus::OggPlaying: return "Playing.";
        case OpenStatus::OggRefused: return "Cannot play " + m.file + ": it cannot be opened or is not Ogg Vorbis.";
        case OpenStatus::ModuleRejected:
            return "Cannot play " + m.file + ": it cannot be opened or is not a module.";
        case OpenStatus::PathTooLong: return "Cannot play the file: its path is too long.";
    }
    return {};
}

std::string FormatElapsed(double seconds) {
    long s = seconds > 0 ? long(seconds) : 0;
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

std::string MeterBar(uint16_t peak, int width) {
    if (width <= 0) return {};
    int level = int((int64_t(std::min<int>(peak, 32767)) * width + 32766) / 32767);
    return std::string(size_t(level), '#') + std::string(size_t(width - level), '.');
}

std::vector<std::string> DisplayLines(const char* text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char* p = text; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c < 0x20 || c == 0x7f ? '?' : char(c));
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

void AboutView::set(const char* title, const char* samples) {
    std::vector<std::string> t = DisplayLines(title);
    title_ = t.empty() ? std::string() : t[0];
    samples_ = DisplayLines(samples);
    scroll_ = 0;
}

void AboutView::Scroll(int lines, int visibleLines) {
    int last = std::max(0, int(samples_.size()) - std::max(1, visibleLines));
    scroll_ = std::clamp(scroll_ + lines, 0, last);
}

bool MainScreen::Open() {
    if (open_) return true;
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return false;
    const char* term = std::getenv("TERM");
    if (!term || !*term) return false;
    SCREEN* s = newterm(nullptr, stdout, stdin);
    if (!s) return false;
    screen_ = s;
    set_term(s);
    // Saved while the terminal still has the user's settings: the crash path
    // puts them back.
    std::string leave;
    for (const char* cap : {"rmcup", "cnorm", "sgr0"}) {
        const char* v = tigetstr(const_cast<char*>(cap));
        if (v && v != reinterpret_cast<const char*>(-1)) leave += v;
    }
    leave += "\r\n";
    def_prog_mode();
    reset_shell_mode();
    RememberTerminalForCrash(STDIN_FILENO, leave.c_str());
    reset_prog_mode();

    cbreak();  // Ctrl-C still raises SIGINT, which quits through the event loop
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    open_ = true;
    return true;
}

void MainScreen::Close() {
    if (!open_) return;
    endwin();
    delscreen(static_cast<SCREEN*>(screen_));
    screen_ = nullptr;
    ForgetTerminalForCrash();
    open_ = false;
}

void MainScreen::Resize() {
    if (!open_) return;
    endwin();
    refresh();
    clear();  // the old layout no longer fits: repaint everything once
}

int MainScreen::ReadKey() {
    if (!open_) return -1;
    int ch = getch();
    switch (ch) {
        case ERR: return -1;
        case '\n':
        case '\r':
        case KEY_ENTER: return kKeyEnter;
        case 27: return kKeyEscape;
        case KEY_UP: return kKeyUp;
        case KEY_DOWN: return kKeyDown;
        case KEY_PPAGE: return kKeyPageUp;
        case KEY_NPAGE: return kKeyPageDown;
        case KEY_RESIZE: return kKeyResize;
        default: break;
    }
    // Function keys and the like are not characters: they record nothing.
    return ch > 0xff ? kKeyOther : ch;
}

int MainScreen::AboutListRows() const {
    // Frame: heading, title, blank, "Samples:", list..., blank, hint.
    return open_ ? std::max(1, LINES - 6) : 1;
}

namespace {

void Line(int y, const std::string& text) {
    if (y >= LINES) return;
    mvaddnstr(y, 0, text.c_str(), std::max(0, COLS - 1));
}

}  // namespace

void MainScreen::DrawMain(const ScreenModel& m) {
    int y = 0;
    attron(A_BOLD);
    Line(y++, "Moddeck " MODDECK_VERSION);
    attroff(A_BOLD);
    y++;
    Line(y++, "File:     " + (m.file.empty() ? std::string("-") : m.file));
    bool playing = m.status == OpenStatus::ModulePlaying || m.status == OpenStatus::OggPlaying;
    if (playing) {
        std::string format = FormatName(m.format);
        if (m.format == FileFormat::Ogg && m.oggRate > 0)
            format += ", " + std::to_string(m.oggRate) + " Hz, " + std::to_string(m.oggChannels) +
                      (m.oggChannels == 1 ? " channel" : " channels");
        Line(y++, "Format:   " + format);
        if (m.status == OpenStatus::ModulePlaying) {
            Line(y++, "Title:    " + m.title);
            Line(y++, "Channels: " + std::to_string(m.channels));
            Line(y++, "Order:    " + std::to_string(m.order + 1) + "/" + std::to_string(m.songLength) +
                          "   Row: " + std::to_string(m.row));
        }
        Line(y++, "Elapsed:  " + FormatElapsed(m.elapsedSeconds));
    }
    y++;
    Line(y++, StatusLine(m));
    y++;
    if (m.status == OpenStatus::ModulePlaying && m.channels > 0) {
        // As many columns of meters as it takes to fit every channel above
        // the key line.
        int channels = std::min<int>(m.channels, kMaxChannels);
        int rows = std::max(1, LINES - 2 - y);
        int columns = (channels + rows - 1) / rows;
        rows = (channels + columns - 1) / columns;
        int columnWidth = std::max(8, (COLS - 1) / columns);
        int width = std::min(64, columnWidth - 4);
        for (int c = 0; c < channels; c++) {
            char label[8];
            std::snprintf(label, sizeof label, "%2d ", c + 1);
            int row = y + c % rows, x = (c / rows) * columnWidth;
            if (row < LINES - 1 && x + 3 + width < COLS) mvaddstr(row, x, (label + MeterBar(m.peaks[c], width)).c_str());
        }
        y += rows + 1;
    }
    Line(std::max(y, LINES - 1), "+/- order   a about   q quit");
}

void MainScreen::DrawAbout(const AboutView& about) {
    int y = 0;
    attron(A_BOLD);
    Line(y++, "About");
    attroff(A_BOLD);
    Line(y++, about.title());
    y++;
    Line(y++, "Samples:");
    int rows = AboutListRows();
    const auto& lines = about.samples();
    for (int i = about.firstLine(); i < int(lines.size()) && i < about.firstLine() + rows; i++) Line(y++, lines[size_t(i)]);
    std::string hint = "Enter/Esc close";
    if (int(lines.size()) > rows) hint += "   Up/Down/PgUp/PgDn scroll";
    Line(LINES - 1, hint);
}

void MainScreen::Draw(const ScreenModel& model, const AboutView& about) {
    if (!open_) return;
    // erase() only clears our copy of the screen; refresh() sends just the
    // cells that changed, so redrawing every frame does not flicker.
    erase();
    if (about.visible())
        DrawAbout(about);
    else
        DrawMain(model);
    refresh();
}

}  // namespace moddeck
