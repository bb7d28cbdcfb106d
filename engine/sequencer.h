// The sequencer: steps the ticks, rows and order positions of the player's
// song, triggers the notes of each row into the voices, runs the effects,
// and has every voice ready what it mixes through the tick.
#pragma once

#include <cstdint>

#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// Plays one tick of the song: reads the row, runs the row effects and
// triggers the notes at tick 0, runs the per-tick effects, sets what every
// voice mixes through the tick (engine/mixer.h), then steps the tick and, at
// the end of a row, the row and the order position. At the song's end (past
// its last entry, or a jump out of the order table) it sets p.new_song and
// goes on from order 0; restarting the song is its caller's.
void PlayTick(Player& p);

// The one start of a song, for every player and the song's measure: every
// voice field and the loop and delay counters from zero (so that nothing
// carries over from what played before; no background voice sounds, and
// the random variations start from their seed), the song-start reset, the song's
// own finetunes, no pending request, speed and tempo from the song, the
// clock at 0 and the position at order entry `startOrder`, row 0, tick 0.
void StartSong(Player& p, int32_t startOrder);

// The start again of a song that has come to its end and loops: the
// song-start reset, speed and tempo from the song, the position at the
// subsong's first order; the voices' memories play on.
void RestartSong(Player& p);

// The reset of a song start: 50 ticks per second (882 frames per tick at
// 44,100 Hz), the channel panning (the song's own for S3M, else 0.5 0.35
// 0.65 0.5 repeated), the channels' voices reset (period, instrument,
// position, cut and delay ticks, S3M fine slides, filter), the global volume
// (64, an S3M header's lower one, or an IT header's 0..128), speed 6.
void ResetForSongStart(Player& p);

// XM and S3M songs start at their header speed and tempo; MOD keeps 6 and
// 50 ticks per second.
void ApplySongSpeedAndTempo(Player& p);

// Entries of the order table that are played: the song length within
// 1..4096, since a song of length 0 still plays its first entry.
int32_t PlayedOrders(const Mod& song);

// Whether order entry `pos` names a pattern the song has.
bool NamesPattern(const Mod& song, int32_t pos);

// First order position from `pos` on whose entry names an existing pattern,
// wrapping to 0 (and setting p.new_song) at the song's end; -1 when no entry
// of the order table does.
int32_t PlayablePosition(Player& p, int32_t pos);

// Takes the order requests of other threads (a jump, then the steps, which
// stop at the first and last entries rather than wrap): the entry plays from
// its first row, with no loop or delay of the row it left. True when the
// position moved.
bool TakeOrderRequests(Player& p);

}  // namespace moddeck
