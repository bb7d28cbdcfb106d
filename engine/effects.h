// Pattern effects: the row effects, run once at tick 0 for every channel
// before the notes, and the per-tick effects, run for each voice on every
// tick after its note and before it renders.
#pragma once

#include <cstdint>

#include "engine/mixer.h"
#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// Effect numbers shared by the three kinds (S3M letters are translated).
enum Effect : int32_t {
    kArpeggio = 0,
    kPortaUp = 1,
    kPortaDown = 2,
    kTonePorta = 3,
    kVibrato = 4,
    kTonePortaVolSlide = 5,
    kVibratoVolSlide = 6,
    kTremolo = 7,
    kSetPanning = 8,
    kSampleOffset = 9,
    kVolumeSlide = 10,
    kPositionJump = 11,
    kSetVolume = 12,
    kPatternBreak = 13,
    kExtended = 14,
    kSpeedTempo = 15,
    kSetGlobalVolume = 16,
    kGlobalVolumeSlide = 17,
    kS3MSpecial = 20,
    kS3MTempo = 33,
    kNoEffect = 666,
};

// The values of one channel's cell at the current row, read by the song's
// kind. An S3M note-cut note reads as no note with `noteCut` set.
struct RowValues {
    int32_t note = -1;        // -1 = none
    int32_t instrument = 0;   // 0 = none
    int32_t volume = 0;       // XM volume-column byte; S3M 0..64, 255 = none
    int32_t effect = 0;
    int32_t param = 0;
    bool noteCut = false;
};

// S3M command letter number (1 = A) to the common effect number; 0 and any
// letter after W give kNoEffect.
int32_t S3MEffect(int32_t letter);

// The vibrato and tremolo waveform at position `pos` (low 6 bits) scaled by
// `depth`: a half sine up, then its negative.
int32_t Waveform(int32_t pos, int32_t depth);

// +x for a parameter x0, -y for 0y, 0 when both or neither nibble is set.
int32_t SlideOf(int32_t param);

// Row effects of channel c at tick 0. Returns true when a pattern loop sent
// `raw` back: the caller reads the row values again from the new row.
bool ApplyRowEffect(Player& p, Mod& song, FileFormat kind, int c, const RowValues& row);

// What the per-tick stage gives the mixer for one voice.
struct TickOutput {
    int32_t period;   // heard on this tick (vibrato, arpeggio included)
    int32_t tremolo;  // volume offset
};

// Per-tick effects of voice c: note cut, volume column, note delay, the
// cell's command, the volume and global volume slides.
TickOutput ApplyTickEffects(Player& p, Mod& song, FileFormat kind, int c, const RowValues& row);

}  // namespace moddeck
