// Pattern effects. Each effect of the song's cells (song/song.h) has its
// parts side by side in effects.cpp: a row part, run once at tick 0 for
// every channel before the notes, and a tick part, run for each voice on
// every tick after its note and before it renders (and for a few, an early
// part before the voice's sample is looked at). The song's Behaviour says
// how an effect plays where formats differ.
//
// To add an effect: name it in Effect (song/song.h), write its parts and
// give them their line in the table of effects.cpp, and translate the
// formats' commands into it in loaders/commands.cpp.
#pragma once

#include <cstdint>

#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// The values of one channel's cell at the current row. A note-cut note
// reads as no note with `noteCut` set.
struct RowValues {
    int32_t note = -1;        // -1 = none; 97 = key off (NoteColumn::KeyOff)
    int32_t instrument = 0;   // 0 = none
    VolumeEffect volumeEffect = VolumeEffect::None;  // the volume column
    int32_t volumeParam = 0;
    Effect effect = Effect::None;
    int32_t param = 0;
    bool noteCut = false;
};

// The tick the row's note (and its volume column) starts on: a note delay's,
// else 0. A delay past the row's last tick leaves the note unplayed, and
// until the note starts the voice goes on with what it played.
int32_t NoteTick(const RowValues& row);

// True when the row starts a tone portamento rather than a note: the tone
// portamento effects, or one in the volume column.
bool IsTonePorta(const RowValues& row);

// Row parts of channel c's effect at tick 0. A pattern loop that goes back
// sets p.raw_jump, which the sequencer takes at the end of the row.
void ApplyRowEffect(Player& p, int c, const RowValues& row);

// What the per-tick stage gives the mixer for one voice.
struct TickOutput {
    int32_t period;   // heard on this tick (vibrato, arpeggio included)
    int32_t tremolo;  // volume offset (tremolo; a tremor's silence)
};

// The tick of voice c: a due note cut, the volume column's row part on the
// note's tick (before the effect's early part or after it, as the song says), the effect's tick
// part, the volume column's, the instrument vibrato, the volume kept within
// 0..63 (IT: 0..64).
TickOutput ApplyTickEffects(Player& p, int c, const RowValues& row);

// The parts of the row's note the effects have: a set volume (after the
// note's own volume), and the sample offset the note starts at.
void NoteTakesVolume(Voice& v, const RowValues& row);
void NoteTakesOffset(Voice& v, const RowValues& row);

// Where a voice's tremor is: none since its start (the note sounds), in
// its on phase or its off phase.
enum TremorPhase : int32_t { kTremorNone, kTremorOn, kTremorOff };

// An instrument number brings back the volume of a voice a tremor has left
// silent, and its next tremor starts with the on phase.
void RestartTremor(Voice& v);

// Key off (XM): the volume envelope's sustain is let go and the fade-out
// starts; without a volume envelope the note is cut.
void KeyOff(Voice& v, const Mod& song);

}  // namespace moddeck
