// The files the player plays in turn: `moddeck FILE...` fills it, a
// hand-off replaces it or adds to it, "n" and "p" step through it, and the
// end of a file (an Ogg stream, or a module that does not loop) moves on.
// A file that cannot be played is stepped over in the direction of travel.
// Shuffled, the files play in an order of their own, every file once.
#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace moddeck {

// What comes back at an end: nothing, the module that plays (an Ogg stream
// still plays once), or the whole list.
enum class LoopMode { Off, File, List };

// "off", "file", "list".
const char* LoopModeName(LoopMode mode);
// The mode of one of those names; false, leaving *mode, for anything else.
bool ParseLoopMode(const std::string& name, LoopMode* mode);
// Off -> File -> List -> Off, as the loop key cycles.
LoopMode NextLoopMode(LoopMode mode);

class Playlist {
public:
    // Entries beyond this are dropped: it bounds what a hand-off can make
    // the player hold.
    static constexpr size_t kMaxEntries = 10000;

    // Replaces the list (at most kMaxEntries of `paths`); the first entry
    // in playing order becomes the current one. An empty `paths` empties
    // the list.
    void Replace(const std::vector<std::string>& paths);
    // Appends to the list as far as kMaxEntries allows; returns how many
    // were taken. An empty list's first new entry becomes the current one.
    size_t Enqueue(const std::vector<std::string>& paths);

    bool empty() const { return entries_.empty(); }
    size_t size() const { return entries_.size(); }
    // 0-based place of the current entry in playing order; only when not empty.
    size_t index() const { return current_; }
    const std::string& current() const { return entries_[order_[current_]]; }

    // Moves one entry forward (backward) in playing order; at the last
    // (first) entry, goes round to the other end with `wrap`, else returns
    // false and stays put. The direction of a move made is kept for Skip.
    bool Next(bool wrap = false);
    bool Previous(bool wrap = false);
    // After the current entry could not be played: moves on the way the
    // last move went (forward at first); false at that end of the list.
    bool Skip(bool wrap = false);

    // Shuffled: a new random order that starts with the current entry, and
    // files added later come in at random among those still to play. Not
    // shuffled: the order given, from the current entry.
    void SetShuffle(bool shuffle);
    bool shuffle() const { return shuffle_; }

private:
    std::vector<std::string> entries_;
    std::vector<size_t> order_;  // playing order: indices into entries_
    size_t current_ = 0;
    bool backward_ = false;
    bool shuffle_ = false;
    std::mt19937 random_{std::random_device{}()};
};

}  // namespace moddeck
