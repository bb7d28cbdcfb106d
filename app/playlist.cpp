#include "app/playlist.h"

#include <algorithm>
#include <numeric>

namespace moddeck {

const char* LoopModeName(LoopMode mode) {
    switch (mode) {
        case LoopMode::Off: return "off";
        case LoopMode::File: return "file";
        case LoopMode::List: return "list";
    }
    return "off";
}

bool ParseLoopMode(const std::string& name, LoopMode* mode) {
    for (LoopMode m : {LoopMode::Off, LoopMode::File, LoopMode::List})
        if (name == LoopModeName(m)) {
            *mode = m;
            return true;
        }
    return false;
}

LoopMode NextLoopMode(LoopMode mode) {
    switch (mode) {
        case LoopMode::Off: return LoopMode::File;
        case LoopMode::File: return LoopMode::List;
        case LoopMode::List: return LoopMode::Off;
    }
    return LoopMode::Off;
}

void Playlist::Replace(const std::vector<std::string>& paths) {
    entries_.assign(paths.begin(), paths.begin() + long(std::min(paths.size(), kMaxEntries)));
    order_.resize(entries_.size());
    std::iota(order_.begin(), order_.end(), size_t{0});
    if (shuffle_) std::shuffle(order_.begin(), order_.end(), random_);
    current_ = 0;
    backward_ = false;
}

size_t Playlist::Enqueue(const std::vector<std::string>& paths) {
    const size_t taken = std::min(paths.size(), kMaxEntries - entries_.size());
    if (entries_.empty()) current_ = 0;
    for (size_t i = 0; i < taken; i++) {
        entries_.push_back(paths[i]);
        order_.push_back(entries_.size() - 1);
        // Among the entries still to play (after the current one).
        if (shuffle_ && order_.size() > current_ + 2) {
            std::uniform_int_distribution<size_t> place(current_ + 1, order_.size() - 1);
            std::swap(order_.back(), order_[place(random_)]);
        }
    }
    return taken;
}

bool Playlist::Next(bool wrap) {
    if (entries_.empty() || (current_ + 1 >= entries_.size() && !wrap)) return false;
    current_ = (current_ + 1) % entries_.size();
    backward_ = false;
    return true;
}

bool Playlist::Previous(bool wrap) {
    if (entries_.empty() || (current_ == 0 && !wrap)) return false;
    current_ = (current_ + entries_.size() - 1) % entries_.size();
    backward_ = true;
    return true;
}

bool Playlist::Skip(bool wrap) { return backward_ ? Previous(wrap) : Next(wrap); }

void Playlist::SetShuffle(bool shuffle) {
    shuffle_ = shuffle;
    if (entries_.empty()) return;
    const size_t playing = order_[current_];
    std::iota(order_.begin(), order_.end(), size_t{0});
    if (!shuffle) {
        current_ = playing;
        return;
    }
    std::shuffle(order_.begin(), order_.end(), random_);
    std::iter_swap(order_.begin(), std::find(order_.begin(), order_.end(), playing));
    current_ = 0;
}

}  // namespace moddeck
