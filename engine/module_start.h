// Starting and stopping a loaded module: the one place that prepares the
// player for a song (About texts, tables, clamp table, reset, voice
// buffers, speed and tempo, position) and releases what that allocated.
#pragma once

namespace moddeck {

// Starts SONG, a song the loader entry has just loaded: TitleSong and
// SamplesSong for the About view (cut at a character boundary to their
// buffers), base 0, the period tables, Saturation, the song-start reset of
// every voice and of the panning, the 32 voice buffers (zero-filled),
// speed and tempo from the song, then PLAYER_ON = 1, EXITMIXER = 0,
// new_song = 0 and the position at order 0, row 0, tick 0. Every voice
// field and the loop and delay counters start from zero, so that a file
// sounds the same whatever played before it. Does nothing without SONG.
void StartModule();

// Frees Saturation and the voice buffers (pointers to null) and sets
// PLAYER_ON = 0. Safe when nothing was started. Songs stay loaded.
void StopModule();

}  // namespace moddeck
