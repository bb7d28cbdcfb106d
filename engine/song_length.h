// How long a song lasts and where it goes, found before it plays by running
// its sequencer tick by tick without mixing a sound: speed and tempo
// changes, pattern loops, delays, jumps and breaks all count as they will
// when it plays. The order table may hold more than one song: each part
// that the ones before it never reach is a subsong of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "song/song.h"

namespace moddeck {

// One subsong, measured at kReferenceRate.
struct SubsongLength {
    int32_t firstOrder = 0;  // the order entry it starts at
    // Seconds (and ticks) until it ends (and would start again from its
    // start), or, for one that jumps back instead of ending, until it first
    // comes back to a row it has already played in the same state.
    double seconds = 0;
    int64_t ticks = 0;
    // Where one that never ends goes back to at `seconds`; negative for one
    // that ends.
    double loopSeconds = -1;
    int64_t loopTicks = -1;
    // False when the run was cut by its bounds (kMaxMeasuredSeconds of song
    // or kMaxMeasuredTicks ticks): `seconds` is then only a lower bound.
    bool complete = false;
};

// When an order entry is first reached, row 0 or wherever it is entered, in
// the subsong that first reaches it; negative when none does.
struct OrderStart {
    double seconds = -1;
    int64_t tick = -1;
};

struct SongMap {
    std::vector<SubsongLength> subsongs;  // at least one, from order 0
    std::vector<OrderStart> orders;       // one per played entry of the order table
};

constexpr double kMaxMeasuredSeconds = 3 * 3600.0;
constexpr int64_t kMaxMeasuredTicks = 300'000;
// Subsongs after the first share this many ticks between them, and there
// are at most kMaxSubsongs: an order table of scattered single patterns
// cannot make the map take long.
constexpr int64_t kMaxSubsongTicks = 300'000;
constexpr int32_t kMaxSubsongs = 256;

// Runs `song` from entry `startOrder` on a player of its own, within
// `maxTicks`, and records in `orders` (when given) the entries it reaches
// that no earlier run reached. The song is only read.
SubsongLength MeasureSong(const Mod& song, int32_t startOrder = 0, std::vector<OrderStart>* orders = nullptr,
                          int64_t maxTicks = kMaxMeasuredTicks);

// The subsongs of `song` and the first time of each order entry.
SongMap MapSong(const Mod& song);

}  // namespace moddeck
