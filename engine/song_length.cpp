#include "engine/song_length.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "engine/player.h"
#include "engine/sequencer.h"

namespace moddeck {

namespace {

// Everything that decides where the song goes next from the start of a row:
// the position, the row delay and every channel's pattern loop (its return
// row and repeats left), folded into one 64-bit FNV-1a hash. Coming back to
// the same state means the song runs in a circle from there.
uint64_t RowState(const Player& p) {
    uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](int64_t v) { h = (h ^ static_cast<uint64_t>(v)) * 1099511628211ull; };
    mix(p.order);
    mix(p.raw);
    mix(p.patterndelay);
    for (const Voice& v : p.Voices) {
        mix(v.loopstart);
        mix(v.loopcount);
    }
    return h;
}

struct Seen {
    double seconds;
    int64_t tick;
};

}  // namespace

SubsongLength MeasureSong(const Mod& song, int32_t startOrder, std::vector<OrderStart>* orders, int64_t maxTicks) {
    SubsongLength t;
    t.firstOrder = startOrder;
    // Mixing nothing: only the sequencer and the effects run.
    auto p = std::make_unique<Player>(song, kReferenceRate);
    StartSong(*p, startOrder);
    std::unordered_map<uint64_t, Seen> seen;
    int64_t frames = 0, tick = 0;
    for (; tick < maxTicks; tick++) {
        const double now = static_cast<double>(frames) / kReferenceRate;
        if (now >= kMaxMeasuredSeconds) break;
        if (p->ticks == 0) {
            const auto [at, fresh] = seen.emplace(RowState(*p), Seen{now, tick});
            if (!fresh) {
                t.seconds = now;
                t.ticks = tick;
                t.loopSeconds = at->second.seconds;
                t.loopTicks = at->second.tick;
                t.complete = true;
                return t;
            }
            const int32_t order = p->order;
            if (orders && order >= 0 && order < static_cast<int32_t>(orders->size()) &&
                (*orders)[size_t(order)].tick < 0)
                (*orders)[size_t(order)] = {now, tick};
        }
        PlayTick(*p);
        frames += p->LEN_TICK;
        if (p->new_song == 1) {
            t.seconds = static_cast<double>(frames) / kReferenceRate;
            t.ticks = tick + 1;
            t.complete = true;
            return t;
        }
    }
    t.seconds = static_cast<double>(frames) / kReferenceRate;
    t.ticks = tick;
    return t;
}

SongMap MapSong(const Mod& song) {
    SongMap map;
    map.orders.assign(static_cast<size_t>(PlayedOrders(song)), OrderStart{});
    map.subsongs.push_back(MeasureSong(song, 0, &map.orders));
    // Each further subsong starts at the first entry that names a pattern
    // and that no subsong before it reaches.
    int64_t budget = kMaxSubsongTicks;
    for (int32_t order = 0; order < PlayedOrders(song) && budget > 0; order++) {
        if (map.subsongs.size() >= size_t{kMaxSubsongs}) break;
        if (map.orders[size_t(order)].tick >= 0 || !NamesPattern(song, order)) continue;
        map.subsongs.push_back(MeasureSong(song, order, &map.orders, budget));
        budget -= std::max<int64_t>(map.subsongs.back().ticks, 1);
    }
    return map;
}

}  // namespace moddeck
