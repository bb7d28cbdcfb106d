// What the player remembers from one run to the next (the volume, the loop
// mode): "name = value" lines in $XDG_CONFIG_HOME/moddeck/settings, or
// ~/.config/moddeck/settings without it. The file is the user's to edit:
// lines the player does not know are kept as they are, and a line it
// cannot read is left alone rather than trusted.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace moddeck {

class Settings {
public:
    // Bigger files are not read: no setting needs them.
    static constexpr size_t kMaxFileBytes = 64 * 1024;

    // The settings file's path; empty when neither XDG_CONFIG_HOME nor HOME
    // is set to an absolute path.
    static std::string DefaultPath();

    // Reads `path`; false (holding nothing) when it cannot be read or is
    // too big. A missing file is an empty one.
    bool Load(const std::string& path);
    // Writes the settings to `path` whole or not at all (through a file
    // beside it), making its folder when needed. False on failure.
    bool Save(const std::string& path) const;

    // The value of `name`, spaces trimmed; nothing when it is not set.
    std::optional<std::string> Get(const std::string& name) const;
    // An integer value within min..max; nothing for anything else.
    std::optional<int> GetInt(const std::string& name, int min, int max) const;
    // Sets `name` (letters, digits, '-' and '_') to `value` (one line).
    void Set(const std::string& name, const std::string& value);

private:
    // Every line of the file in order; `name` is empty for lines that set
    // nothing (comments, blanks, what cannot be read), kept in `text`.
    struct Line {
        std::string name;
        std::string text;
    };
    std::vector<Line> lines_;
};

}  // namespace moddeck
