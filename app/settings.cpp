#include "app/settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace moddeck {

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The name a line sets, or "" for one that sets nothing.
std::string NameOf(const std::string& line) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || Trim(line)[0] == '#') return {};
    return Trim(line.substr(0, equals));
}

bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

std::string Settings::DefaultPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/moddeck/settings";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/moddeck/settings";
    return {};
}

bool Settings::Load(const std::string& path) {
    lines_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return errno == ENOENT;
    std::string bytes(kMaxFileBytes + 1, '\0');
    in.read(bytes.data(), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    if (bytes.size() > kMaxFileBytes) return false;
    std::istringstream text(bytes);
    for (std::string line; std::getline(text, line);) lines_.push_back({NameOf(line), line});
    return true;
}

bool Settings::Save(const std::string& path) const {
    if (path.empty() || !MakeFolders(path)) return false;
    const std::string partial = path + ".new";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        for (const Line& line : lines_) out << line.text << '\n';
        if (!out.flush()) return false;
    }
    return std::rename(partial.c_str(), path.c_str()) == 0;
}

std::optional<std::string> Settings::Get(const std::string& name) const {
    // The last line that sets a name wins, as when reading top to bottom.
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
        if (line->name == name) return Trim(line->text.substr(line->text.find('=') + 1));
    return std::nullopt;
}

std::optional<int> Settings::GetInt(const std::string& name, int min, int max) const {
    const std::optional<std::string> text = Get(name);
    if (!text || text->empty() || text->size() > 6) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text->c_str(), &end, 10);
    if (*end != '\0' || value < min || value > max) return std::nullopt;
    return int(value);
}

void Settings::Set(const std::string& name, const std::string& value) {
    const std::string text = name + " = " + value;
    for (auto line = lines_.rbegin(); line != lines_.rend(); ++line)
        if (line->name == name) {
            line->text = text;
            return;
        }
    lines_.push_back({name, text});
}

}  // namespace moddeck
