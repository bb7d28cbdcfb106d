// The files the player plays in turn: `moddeck FILE...` fills it, a
// hand-off replaces it or adds to it, "n" and "p" step through it, and the
// end of a file (an Ogg stream, or a module that does not loop) moves on.
// A file that cannot be played is stepped over in the direction of travel.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace moddeck {

class Playlist {
public:
    // Entries beyond this are dropped: it bounds what a hand-off can make
    // the player hold.
    static constexpr size_t kMaxEntries = 10000;

    // Replaces the list (at most kMaxEntries of `paths`); the first entry
    // becomes the current one. An empty `paths` empties the list.
    void Replace(const std::vector<std::string>& paths);
    // Appends to the list as far as kMaxEntries allows; returns how many
    // were taken. An empty list's first new entry becomes the current one.
    size_t Enqueue(const std::vector<std::string>& paths);

    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    // 0-based index of the current entry; only when not empty.
    size_t index() const { return current_; }
    const std::string& current() const { return entries_[current_]; }

    // Moves one entry forward (backward); false, staying put, at the last
    // (first) entry. The direction of a move made is kept for Skip.
    bool Next();
    bool Previous();
    // After the current entry could not be played: moves on the way the
    // last move went (forward at first); false at that end of the list.
    bool Skip();

private:
    std::vector<std::string> entries_;
    size_t current_ = 0;
    bool backward_ = false;
};

}  // namespace moddeck
