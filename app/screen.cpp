#include "app/screen.h"

#include <ncurses.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/signals.h"

namespace moddeck {

std::string StatusLine(const ScreenModel& m) {
    if (m.loading) return "Loading " + m.file + " ...";
    switch (m.status) {
        case OpenStatus::Idle: return "Nothing is playing. Open a file with: moddeck FILE";
        case OpenStatus::Refused:
            return "Cannot play " + m.file + ": " + (m.reason.empty() ? moddeck_refusal_text(m.refusal) : m.reason) + ".";
        case OpenStatus::ModulePlaying:
        case OpenStatus::OggPlaying: break;
    }
    // Nothing pretends to play without a device.
    if (m.stopped) return "Stopped.";
    if (m.finished) return "Finished.";
    if (m.noAudio) return std::string("No audio output: ") + m.noAudio + ".";
    return m.paused ? "Paused." : "Playing.";
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

bool ParseElapsed(const std::string& text, double* seconds) {
    // Up to three fields of digits, the last with an optional fraction.
    double total = 0;
    size_t at = 0;
    for (int field = 0; field < 3; field++) {
        size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') end++;
        if (end == at || end - at > 6) return false;
        const double value = std::stod(text.substr(at, end - at));
        if (field > 0 && value >= 60) return false;
        total = total * 60 + value;
        if (end == text.size()) break;
        if (text[end] == '.') {
            size_t fraction = end + 1;
            while (fraction < text.size() && text[fraction] >= '0' && text[fraction] <= '9') fraction++;
            if (fraction == end + 1 || fraction != text.size() || fraction - end > 7) return false;
            total += std::stod("0" + text.substr(end));
            end = fraction;
            break;
        }
        if (text[end] != ':' || field == 2) return false;
        at = end + 1;
    }
    if (total > 86400) return false;
    *seconds = total;
    return true;
}

std::string LoopText(const ScreenModel& m) {
    std::string text;
    if (m.status != OpenStatus::OggPlaying || m.loopMode == LoopMode::List)
        text = std::string("   Loop: ") + LoopModeName(m.loopMode);
    if (m.fileCount > 1 || m.shuffle) text += std::string("   Shuffle: ") + (m.shuffle ? "on" : "off");
    return text;
}

std::string KeyBar(const ScreenModel& m) {
    return std::string("h keys  space pause  n/p file  ,/. <> seek  */ volume  l loop:") + LoopModeName(m.loopMode) +
           "  q quit";
}

std::string MeterLine(const ScreenModel& m, int c, int width) {
    std::string line = (c + 1 < 10 ? " " : "") + std::to_string(c + 1) + (c == m.selectedChannel ? ">" : " ");
    const bool silenced = c >= 0 && c < kMeterChannels && m.silenced[c];
    return line + (silenced ? std::string(size_t(std::max(0, width)), '-') : MeterBar(m.peaks[c], width));
}

std::string TimeLine(const ScreenModel& m) {
    std::string line = FormatElapsed(m.seconds);
    if (m.length <= 0) return line;
    line += m.lengthComplete ? " / " : " / over ";
    line += FormatElapsed(m.length);
    if (m.lengthComplete && m.loopSeconds >= 0) line += ", then again from " + FormatElapsed(m.loopSeconds);
    return line;
}

std::string ElideMiddle(const std::string& text, size_t width) {
    constexpr char kDots[] = "...";
    if (text.size() <= width) return text;
    if (width <= 3) return std::string(kDots, width);
    const auto continuation = [&](size_t i) { return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
    // The file name (from the last '/') is kept whole when it fits; the
    // folders before it fill what is left from the start.
    const size_t slash = text.rfind('/');
    const size_t name = slash == std::string::npos ? text.size() : text.size() - slash;
    const size_t budget = width - 3;
    const size_t tail = std::min(name, budget);
    size_t head = budget - tail;
    size_t from = text.size() - tail;
    while (continuation(from)) from++;
    while (head > 0 && continuation(head)) head--;
    return text.substr(0, head) + kDots + text.substr(from);
}

std::string MeterBar(uint16_t peak, int width) {
    if (width <= 0) return {};
    int level = int((int64_t(std::min<int>(peak, 32767)) * width + 32766) / 32767);
    return std::string(size_t(level), '#') + std::string(size_t(width - level), '.');
}

std::vector<std::string> DisplayLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char byte : text) {
        unsigned char c = static_cast<unsigned char>(byte);
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

void ListView::set(const AboutTexts& about) {
    std::vector<std::string> t = DisplayLines(about.title);
    setList("About", t.empty() ? std::string() : t[0], about.caption, DisplayLines(about.samples));
    scroll_ = 0;
}

void ListView::setList(std::string heading, std::string title, std::string caption, std::vector<std::string> lines) {
    heading_ = std::move(heading);
    title_ = std::move(title);
    caption_ = std::move(caption);
    lines_ = std::move(lines);
    scroll_ = std::clamp(scroll_, 0, std::max(0, int(lines_.size()) - 1));
}

void ListView::Scroll(int lines, int visibleLines) {
    int last = std::max(0, int(lines_.size()) - std::max(1, visibleLines));
    scroll_ = std::clamp(scroll_ + lines, 0, last);
}

bool MainScreen::Open() {
    if (open_) return true;
    if (!isatty(STDOUT_FILENO)) return false;
    const char* term = std::getenv("TERM");
    if (!term || !*term) return false;
    // Standard input may be a file or a pipe (`moddeck - < song.xm`): the
    // keys then come from the controlling terminal.
    FILE* in = stdin;
    if (!isatty(STDIN_FILENO)) {
        input_ = std::fopen("/dev/tty", "re");
        if (!input_) return false;
        in = input_;
    }
    SCREEN* s = newterm(nullptr, stdout, in);
    if (!s) {
        if (input_) std::fclose(input_);
        input_ = nullptr;
        return false;
    }
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
    RememberTerminalForCrash(fileno(in), leave.c_str());
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
    if (input_) std::fclose(input_);
    input_ = nullptr;
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
        case KEY_RIGHT: return kKeyRight;
        case KEY_LEFT: return kKeyLeft;
        default: break;
    }
    // Function keys and the like are not characters: they record nothing.
    return ch > 0xff ? kKeyOther : ch;
}

int MainScreen::InputFd() const { return input_ ? fileno(input_) : STDIN_FILENO; }

int MainScreen::ListRows() const {
    // Frame: heading, title, blank, caption, list..., blank, hint.
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
    std::string place;
    if (m.fileCount > 1) place = "   (file " + std::to_string(m.fileIndex) + " of " + std::to_string(m.fileCount) + ")";
    const size_t room = size_t(std::max(20, COLS - 1)) - 10 - place.size();
    Line(y++, "File:     " + (m.file.empty() ? std::string("-") : ElideMiddle(m.file, room)) + place);
    const bool playing = m.status == OpenStatus::ModulePlaying || m.status == OpenStatus::OggPlaying;
    if (playing) {
        std::string format = m.format;
        if (m.status == OpenStatus::OggPlaying && m.oggRate > 0)
            format += ", " + std::to_string(m.oggRate) + " Hz, " + std::to_string(m.oggChannels) +
                      (m.oggChannels == 1 ? " channel" : " channels");
        Line(y++, "Format:   " + format);
        if (m.status == OpenStatus::ModulePlaying) {
            Line(y++, "Title:    " + m.title);
            Line(y++, "Channels: " + std::to_string(m.channels));
            std::string order = "Order:    " + std::to_string(m.order + 1) + "/" + std::to_string(m.orders) +
                                "   Row: " + std::to_string(m.row);
            if (m.subsongs > 1)
                order += "   Subsong: " + std::to_string(m.subsong + 1) + "/" + std::to_string(m.subsongs);
            Line(y++, order);
        }
        Line(y++, "Time:     " + TimeLine(m));
        if (!m.damage.empty()) Line(y++, "Damaged:  " + m.damage + " (playing what is there)");
    }
    std::string volume = (m.volumeDb > 0 ? "+" : "") + std::to_string(m.volumeDb) + " dB";
    Line(y++, "Volume:   " + volume + LoopText(m));
    y++;
    Line(y++, StatusLine(m));
    if (m.noAudio && !m.finished && !m.stopped) {
        Line(y++, "Check that a sound card or a sound server (PipeWire, PulseAudio) is there.");
        Line(y++, "To write the sound to a file instead, set ALSOFT_CONF to a file holding");
        Line(y++, "the lines: drivers = wave, [wave], file = out.wav");
    }
    Line(y++, m.message);
    if (playing && m.status == OpenStatus::ModulePlaying && m.channels > 0) {
        // As many columns of meters as it takes to fit every channel above
        // the key line; what still does not fit is counted.
        int channels = std::min(m.channels, kMeterChannels);
        int rows = std::max(1, LINES - 2 - y);
        int columns = (channels + rows - 1) / rows;
        rows = (channels + columns - 1) / columns;
        int columnWidth = std::max(8, (COLS - 1) / columns);
        int width = std::min(64, columnWidth - 4);
        int hidden = 0;
        for (int c = 0; c < channels; c++) {
            int row = y + c % rows, x = (c / rows) * columnWidth;
            if (row < LINES - 2 && x + 3 + width < COLS)
                mvaddstr(row, x, MeterLine(m, c, width).c_str());
            else
                hidden++;
        }
        y += std::min(rows, std::max(0, LINES - 2 - y));
        if (hidden > 0) Line(y++, std::to_string(hidden) + (hidden == 1 ? " meter" : " meters") + " hidden: the terminal is too small");
    }
    Line(std::max(y, LINES - 1), KeyBar(m));
}

void MainScreen::DrawList(const ListView& view) {
    int y = 0;
    attron(A_BOLD);
    Line(y++, view.heading());
    attroff(A_BOLD);
    Line(y++, view.title());
    y++;
    Line(y++, view.caption());
    int rows = ListRows();
    const auto& lines = view.lines();
    for (int i = view.firstLine(); i < int(lines.size()) && i < view.firstLine() + rows; i++) Line(y++, lines[size_t(i)]);
    std::string hint = "Enter/Esc close";
    if (int(lines.size()) > rows) hint += "   Up/Down/PgUp/PgDn scroll";
    Line(LINES - 1, hint);
}

void MainScreen::Draw(const ScreenModel& model, const ListView& view) {
    if (!open_) return;
    // erase() only clears our copy of the screen; refresh() sends just the
    // cells that changed, so redrawing every frame does not flicker.
    erase();
    if (view.visible())
        DrawList(view);
    else
        DrawMain(model);
    refresh();
}

}  // namespace moddeck
