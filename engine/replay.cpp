#include "engine/replay.h"

#include <algorithm>
#include <cstring>

#include "engine/mixer.h"
#include "engine/sequencer.h"

namespace moddeck {

namespace {

const SubsongLength* LengthOf(const Player& p) {
    if (!p.map || p.subsong < 0 || p.subsong >= static_cast<int32_t>(p.map->subsongs.size())) return nullptr;
    return &p.map->subsongs[size_t(p.subsong)];
}

// Frames at the player's rate of a time measured at the reference rate.
int64_t FramesOf(const Player& p, double seconds) { return static_cast<int64_t>(seconds * p.rate + 0.5); }

// The song clock after a jump: the time the song first reaches the entry.
void SetClockToOrder(Player& p) {
    if (!p.map || p.order < 0 || p.order >= static_cast<int32_t>(p.map->orders.size())) return;
    const OrderStart& at = p.map->orders[size_t(p.order)];
    if (at.tick < 0) return;
    p.songTicks = at.tick;
    p.songFrames = FramesOf(p, at.seconds);
}

// Everything before a tick is sequenced: the end of the song met by the
// last tick, a song that never ends coming back to its loop, the requests
// of other threads (unless `seeking`: they wait for the renderer). False
// when the player has played the song out and does not loop.
bool BeforeTick(Player& p, bool seeking) {
    const bool loop = p.loop.load(std::memory_order_relaxed);
    const bool requested = !seeking && (p.orderRequest.load(std::memory_order_relaxed) >= 0 ||
                                        p.orderSteps.load(std::memory_order_relaxed) != 0);
    if (p.ended || p.new_song) {
        // Not looping, the song stays over; a jump asked for after the end
        // plays on from there.
        if (!loop && !requested) {
            p.ended = true;
            return false;
        }
        if (!requested) RestartSong(p);
        p.new_song = 0;
        p.ended = false;
    }
    if (!seeking && TakeOrderRequests(p)) SetClockToOrder(p);
    const SubsongLength* length = LengthOf(p);
    if (length && length->loopTicks >= 0 && p.songTicks >= length->ticks) {
        // Back at a row already played in the same state: the song goes round
        // from here, and so does its time.
        if (!loop) {
            p.ended = true;
            return false;
        }
        p.songTicks = length->loopTicks;
        p.songFrames = FramesOf(p, length->loopSeconds);
    }
    return true;
}

// Sequences the next tick; false when the song is over (see BeforeTick).
bool NextTick(Player& p, bool seeking = false) {
    if (!BeforeTick(p, seeking)) return false;
    PlayTick(p);
    p.songTicks++;
    p.tickFramesLeft = p.LEN_TICK;
    return true;
}

}  // namespace

void StartSubsong(Player& p, const SongMap* map, int32_t subsong) {
    const bool known = map && subsong >= 0 && subsong < static_cast<int32_t>(map->subsongs.size());
    p.map = map;
    p.subsong = known ? subsong : 0;
    StartSong(p, known ? map->subsongs[size_t(subsong)].firstOrder : 0);
    std::memset(p.peaks, 0, sizeof p.peaks);
    PublishPosition(p);
}

size_t MixNext(Player& p, int16_t* out, size_t frames) {
    const size_t done = RenderFrames(p, out, frames);
    Publish(p);
    return done;
}

size_t RenderFrames(Player& p, int16_t* out, size_t frames) {
    size_t done = 0;
    while (done < frames) {
        if (p.tickFramesLeft == 0 && !NextTick(p)) break;
        const int32_t n = static_cast<int32_t>(
            std::min<size_t>({frames - done, static_cast<size_t>(p.tickFramesLeft), size_t{kMixChunkFrames}}));
        MixFrames(p, out + 2 * done, n);
        p.tickFramesLeft -= n;
        p.songFrames += n;
        done += static_cast<size_t>(n);
    }
    if (done < frames) std::memset(out + 2 * done, 0, sizeof(int16_t) * 2 * (frames - done));
    return done;
}

void SeekFrames(Player& p, int64_t target) {
    StartSubsong(p, p.map, p.subsong);
    if (const SubsongLength* length = LengthOf(p); length && length->loopTicks >= 0) {
        const int64_t end = FramesOf(p, length->seconds), loop = FramesOf(p, length->loopSeconds);
        if (target >= end && end > loop) target = loop + (target - loop) % (end - loop);
    }
    for (;;) {
        // A song that ends by the last tick is at its end: the renderer
        // loops it or stops.
        if (p.new_song || !NextTick(p, true)) break;
        if (p.songFrames + p.tickFramesLeft > target) break;
        SkipFrames(p, p.tickFramesLeft);
        p.songFrames += p.tickFramesLeft;
        p.tickFramesLeft = 0;
    }
    PublishPosition(p);
}

void Publish(Player& p) {
    if (p.levelsWanted.load(std::memory_order_relaxed))
        for (int c = 0; c < kMaxChannels; c++) {
            p.levels[c].store(c < p.NVoices ? p.peaks[c] : 0, std::memory_order_relaxed);
            p.peaks[c] = 0;
        }
    PublishPosition(p);
}

void PublishPosition(Player& p) {
    p.published.order.store(p.order, std::memory_order_relaxed);
    p.published.row.store(p.raw, std::memory_order_relaxed);
    p.published.frames.store(p.songFrames, std::memory_order_relaxed);
    p.published.subsong.store(p.subsong, std::memory_order_relaxed);
    p.published.ended.store(p.ended, std::memory_order_release);
}

}  // namespace moddeck
