// How long a song lasts, found once before it plays by running its
// sequencer tick by tick without rendering a sound: speed and tempo changes,
// pattern loops, delays, jumps and breaks all count as they will when it
// plays.
#pragma once

#include <cstdint>
#include <vector>

#include "song/song.h"

namespace moddeck {

struct SongTimeline {
    // Seconds until the song ends (and would start again from the top), or,
    // for a song that jumps back instead of ending, until it first comes back
    // to a row it has already played in the same state.
    double seconds = 0;
    // Where a song that never ends goes back to at `seconds`; negative for a
    // song that ends.
    double loopSeconds = -1;
    // False when the run was cut by its bounds (kMaxMeasuredSeconds of song
    // or kMaxMeasuredTicks ticks): `seconds` is then only a lower bound.
    bool complete = false;
    // Seconds at which each entry of the order table is first reached, row 0
    // or wherever it is entered; negative for entries the song never plays.
    std::vector<float> orderStart;
};

constexpr double kMaxMeasuredSeconds = 3 * 3600.0;
constexpr int64_t kMaxMeasuredTicks = 300'000;

// Runs `song` from its start on a player of its own, over a copy of the
// record (the song itself is not touched, so it may be playing meanwhile).
// Allocates only the copy, a scratch player without voice buffers and the
// set of rows seen.
SongTimeline MeasureSong(const Mod& song);

// The time of entry `order` of the order table, for a song time that
// follows the keys; 0 when the song never reaches it.
double OrderStartSeconds(const SongTimeline& timeline, int32_t order);

}  // namespace moddeck
