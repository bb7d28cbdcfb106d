// Starting and stopping a loaded module: the one place that prepares a
// player for a song (reset, voice buffers, speed and tempo, position) and
// ends it. The application, the renderer, the benchmark and the tests all
// start modules through it.
#pragma once

#include "engine/player.h"

namespace moddeck {

// Starts p.SONG, a song the loader entry has just loaded: base 0, every
// voice field and the loop and delay counters from zero (so that a file
// sounds the same whatever played before it), the song-start reset of the
// voices and of the panning, the voice buffers cleared, speed and tempo
// from the song, the meters, pending key steps and the song-end count
// cleared, then PLAYER_ON = 1, EXITMIXER = 0, new_song = 0 and the position
// at order 0, row 0, tick 0. Does nothing without a song. Only while no output thread
// renders p.
void StartModule(Player& p);
void StartModule();  // the process-wide player

// Ends playback of the song (PLAYER_ON = 0: MixNext gives silence from
// then on). The songs stay loaded and the buffers stay with the player.
void StopModule(Player& p);
void StopModule();

}  // namespace moddeck
