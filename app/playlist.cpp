#include "app/playlist.h"

#include <algorithm>

namespace moddeck {

void Playlist::Replace(const std::vector<std::string>& paths) {
    entries_.assign(paths.begin(), paths.begin() + long(std::min(paths.size(), kMaxEntries)));
    current_ = 0;
    backward_ = false;
}

size_t Playlist::Enqueue(const std::vector<std::string>& paths) {
    const size_t taken = std::min(paths.size(), kMaxEntries - entries_.size());
    if (entries_.empty()) current_ = 0;
    entries_.insert(entries_.end(), paths.begin(), paths.begin() + long(taken));
    return taken;
}

bool Playlist::Next() {
    if (current_ + 1 >= entries_.size()) return false;
    current_++;
    backward_ = false;
    return true;
}

bool Playlist::Previous() {
    if (current_ == 0 || entries_.empty()) return false;
    current_--;
    backward_ = true;
    return true;
}

bool Playlist::Skip() { return backward_ ? Previous() : Next(); }

}  // namespace moddeck
