// IT notes on a voice: which sample slot and note a cell's note plays
// through the instrument's note map (or the slot itself in sample mode), the
// defaults a new note takes (volumes, panning, its random variation and
// pitch-pan separation), the note column's off, cut and fade, and what the
// mixer hears of an IT voice on a tick (gain, panning, rate).
#pragma once

#include <cstdint>

#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// The instrument an IT voice plays in instrument mode; null in sample mode
// and for numbers the song does not have.
const ModInstrument* ITInstrumentOf(const Mod& song, const Voice& v);

// What a cell's note plays: the song's sample slot (0: none, the note is
// not played), the note after the note map, and the instrument (null in
// sample mode, where the cell's number names the slot).
struct ITNote {
    int32_t slot = 0;
    int32_t note = 0;
    const ModInstrument* instrument = nullptr;
};
ITNote ITNoteOf(const Mod& song, int32_t number, int32_t note);

// The period of an IT note played from sample slot `slot`, in the song's
// slides: linear, or from the sample's C-5 rate.
int32_t ITNotePeriod(const Mod& song, int32_t note, int32_t slot);

// A note of the voice starts: envelopes (unless they carry on), fade, the
// vibrato, the instrument's filter cutoff and resonance where set, its level from the sample's and the instrument's global volumes
// with the random variation, its new-note action; with `defaults` (a
// number in the cell) the sample's volume and the instrument's or sample's
// panning, which become the channel's. The voice's panning is then the
// channel's, moved by the pitch-pan separation and the random variation.
void StartITNote(Player& p, int c, const ITNote& n, bool defaults);

// The note column's off: the key is let go (sustain loops end), and the
// note fades when it has no volume envelope or one that loops.
void ITNoteOff(Voice& v, const Mod& song);

// What the mixer hears of an IT voice on this tick: its gain before the
// channel's, its panning as the share sent left, and its rate in frames of
// the sample per second at `period`. Also writes the filter envelope's value.
struct ITSound {
    float gain;
    float pan;
    double rate;
};
ITSound ITSoundOf(const Player& p, Voice& v, const ModSample& s, int32_t period, int32_t tremolo);

// The random generator of the variations, seeded at the song's start: a
// value in -range..range.
int32_t RandomWithin(Player& p, int32_t range);

}  // namespace moddeck
