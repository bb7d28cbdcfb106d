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
    mix(p.pattern.load(std::memory_order_relaxed));
    mix(p.raw);
    mix(p.patterndelay);
    for (const Voice& v : p.Voices) {
        mix(v.loopstart);
        mix(v.loopcount);
    }
    return h;
}

}  // namespace

SongTimeline MeasureSong(const Mod& song) {
    SongTimeline t;
    // The sequencer writes a few song fields (global volume and its slide)
    // as it goes: it works on a copy that shares the patterns and samples,
    // which it only reads.
    auto copy = std::make_unique<Mod>(song);
    // Without voice buffers the voices render nothing: only the sequencer
    // and the effects run.
    auto p = std::make_unique<Player>(VoiceBuffers::None);
    p->SONG = copy.get();
    ResetForSongStart(*p, *copy);
    ApplySongSpeedAndTempo(*p, *copy);
    p->NVoices = std::clamp(copy->nbChannels, 0, kMaxChannels);

    t.orderStart.assign(static_cast<size_t>(PlayedOrders(*copy)), -1.0f);
    std::unordered_map<uint64_t, double> seen;
    int64_t frames = 0;
    for (int64_t tick = 0; tick < kMaxMeasuredTicks; tick++) {
        const double now = static_cast<double>(frames) / kOutputRate;
        if (now >= kMaxMeasuredSeconds) break;
        if (p->ticks == 0) {
            const auto [at, fresh] = seen.emplace(RowState(*p), now);
            if (!fresh) {
                t.seconds = now;
                t.loopSeconds = at->second;
                t.complete = true;
                break;
            }
            const int32_t order = p->pattern.load(std::memory_order_relaxed);
            if (order >= 0 && order < static_cast<int32_t>(t.orderStart.size()) && t.orderStart[size_t(order)] < 0)
                t.orderStart[size_t(order)] = static_cast<float>(now);
        }
        PlayTick(*p);
        frames += p->LEN_TICK;
        if (p->new_song == 1) {
            t.seconds = static_cast<double>(frames) / kOutputRate;
            t.complete = true;
            break;
        }
    }
    if (!t.complete) t.seconds = static_cast<double>(frames) / kOutputRate;
    p->SONG = nullptr;
    return t;
}

double OrderStartSeconds(const SongTimeline& timeline, int32_t order) {
    if (order < 0 || order >= static_cast<int32_t>(timeline.orderStart.size())) return 0;
    return std::max(0.0f, timeline.orderStart[size_t(order)]);
}

}  // namespace moddeck
