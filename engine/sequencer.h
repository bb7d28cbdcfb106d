// The sequencer and renderer: MixNext steps the ticks, rows and order
// positions of the player's song, triggers the notes of each row into the
// voices, runs the effects and has every voice render each tick, then mixes
// one block.
#pragma once

#include <cstdint>

#include "engine/effects.h"
#include "engine/mixer.h"
#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// Renders the next 4410 frames into p.ActualBufferToBeMixed. Needs a started
// module (StartModule); without one, or without buffers, the block is
// silence. At each end of the song it counts p.songEnds and, when
// p.silentAfterEnd is set, mutes everything after it.
void MixNext(Player& p);
// The same for the process-wide player (the argument is ignored).
void MixNext(unsigned = 0);

// Plays one tick of p.SONG at frame `base` of the voice buffers: takes the
// order steps the keys asked for, reads the row, runs the row effects and
// triggers the notes at tick 0, runs the per-tick effects, has every voice
// render LEN_TICK frames, then steps the tick and, at the end of a row, the
// row and the order position. MixNext calls it; it neither moves `base` nor
// restarts the song.
void PlayTick(Player& p);

// The reset of a song start, for the song about to start: 50 ticks per
// second and 882 frames per tick, the channel panning (the song's own for
// S3M, else 0.5 0.35 0.65 0.5 repeated), the 32 voices reset (period,
// instrument, position, cut and delay ticks, S3M fine slides), global volume
// 64, speed 6.
void ResetForSongStart(Player& p, Mod& song);

// XM and S3M songs start at their header speed and tempo; MOD keeps 6 and
// 50 ticks per second.
void ApplySongSpeedAndTempo(Player& p, const Mod& song);

// Tempo b in beats per minute: frequencegenerale = 0.4 b ticks per second,
// LEN_TICK = 220500 / 2b frames. A tempo of 0 or less is taken as 125 and
// one above 65535 as 65535, so a tick is always 1..110250 frames long.
void SetTempo(Player& p, int32_t bpm);

// Entries of the order table that are played: the song length within
// 1..4096, since a song of length 0 still plays its first entry.
int32_t PlayedOrders(const Mod& song);

// First order position from `pos` on whose entry names an existing pattern,
// wrapping to 0 (and setting p.new_song) at the song's end; -1 when no entry
// of the order table does.
int32_t PlayablePosition(Player& p, const Mod& song, int32_t pos);

// Asks the renderer to move `delta` entries of the order table (the "+" and
// "-" keys); any thread may call it. The steps add up and take effect at
// the start of the renderer's next tick, kept within the played orders: the
// keys stop at both ends of the song rather than wrap. The entry plays from
// its first row.
void RequestOrderStep(Player& p, int32_t delta);

}  // namespace moddeck
