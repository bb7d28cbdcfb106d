// Playing a song through a player: the start of a subsong, the renderer
// that hands out frames as the caller asks for them, the seek, and what the
// renderer publishes for other threads. The library, the tests and the
// benchmark all play songs through these.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/player.h"
#include "engine/song_length.h"

namespace moddeck {

// Starts subsong `subsong` of `map` (the song's map, MapSong) from its
// first order entry; without a map (null) the song starts at order 0 and a
// song that never ends neither folds its time nor ends when not looping.
// Only on the rendering thread, or while none renders.
void StartSubsong(Player& p, const SongMap* map, int32_t subsong);

// Renders the next `frames` stereo frames into `out`, interleaved. Ticks are
// sequenced as their frames are needed and mixed at most kMixChunkFrames at
// a time. At the song's end a looping player starts the subsong again; one
// that does not loop (p.loop false) stops there: the frames after the end
// are silence and the return value counts the frames before it. Then
// publishes (Publish). Allocates nothing, locks nothing.
size_t MixNext(Player& p, int16_t* out, size_t frames);
// The same without publishing, for a render made of several pieces.
size_t RenderFrames(Player& p, int16_t* out, size_t frames);

// Plays on from `target` frames into the subsong: sequences from its start
// without mixing, the voices moved on as if heard, and lands on the first
// frame of the tick that holds `target`. A target past the end of a song
// that ends lands at its end; for one that never ends it is folded into
// its loop first.
void SeekFrames(Player& p, int64_t target);

// Publishes the position for other threads and, while they are wanted, the
// levels of the frames rendered since the last time (done by MixNext; the
// position also by SeekFrames and StartSubsong).
void Publish(Player& p);
void PublishPosition(Player& p);

}  // namespace moddeck
