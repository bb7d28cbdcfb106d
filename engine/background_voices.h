// IT's new-note actions: a new note in a channel whose note still sounds
// sends that note to the background, where it goes on (cut, continues, is
// let go or fades, as its instrument says) beside the channel's new one,
// with its own envelopes and fade, until it is silent. The duplicate check
// first treats the channel's notes that count as the same as the new one.
// Background voices sit after the channels' in Player::Voices, at most
// kBackgroundVoices; when all are taken the quietest (the oldest of equals)
// makes room. Nothing here allocates: the audio thread runs it.
#pragma once

#include <cstdint>

#include "engine/it_voices.h"
#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// The channel voice `index` sounds for: itself, or a background voice's.
inline int ChannelOf(const Player& p, int index) { return index < kMaxChannels ? index : p.Voices[index].channel; }

// Before channel c starts note `n` (not under a tone portamento): the
// duplicate check of n's instrument over the channel's notes, then the
// note playing goes to the background as its new-note action says (or its
// duplicate action, when it is a duplicate).
void MakeRoomForNote(Player& p, int c, const ITNote& n);

// One tick of every background voice, before the channels': envelopes,
// fade, sample vibrato and what it mixes; a voice whose fade or volume
// envelope has come to nothing, or whose sample has ended, is freed.
void PlayBackgroundVoices(Player& p);

// S7x, the instrument controls of channel c: 0..2 cut, let go or fade the
// channel's background notes; 3..6 set the playing note's new-note action
// (cut, continue, note off, fade); 7..C turn its volume, panning and pitch
// envelopes off and on in turn.
void InstrumentControl(Player& p, int c, int32_t x);

// Every background voice freed (a seek or a song's start).
void ClearBackgroundVoices(Player& p);

}  // namespace moddeck
