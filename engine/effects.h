// Pattern effects: the row effects, run once at tick 0 for every channel
// before the notes, and the per-tick effects, run for each voice on every
// tick after its note and before it renders.
#pragma once

#include <cstdint>

#include "engine/mixer.h"
#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// Effect numbers shared by the three kinds: MOD and XM cells hold them as
// they are; S3M letters are translated, to the same number where the
// command is the same and to numbers of their own (64 and up) otherwise.
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
    kSetGlobalVolume = 16,   // XM G, S3M V
    kGlobalVolumeSlide = 17, // XM H, S3M W
    kKeyOff = 20,            // XM K
    kEnvelopePosition = 21,  // XM L
    kPanningSlide = 25,      // XM P
    kMultiRetrigger = 27,    // XM R, S3M Q
    kTremor = 29,            // XM T, S3M I
    kExtraFinePorta = 33,    // XM X
    kS3MSpecial = 64,        // S3M S
    kS3MTempo = 65,          // S3M T
    kS3MPanning = 66,        // S3M X
    kFineVibrato = 67,       // S3M U
    kNoEffect = 666,
};

// The values of one channel's cell at the current row, read by the song's
// kind. An S3M note-cut note reads as no note with `noteCut` set.
struct RowValues {
    int32_t note = -1;        // -1 = none; XM 97 = key off
    int32_t instrument = 0;   // 0 = none
    int32_t volume = 0;       // XM volume-column byte; S3M 0..64, 255 = none
    int32_t effect = 0;
    int32_t param = 0;
    bool noteCut = false;
};

// S3M command letter number (1 = A) to the effect number; 0 and any
// letter after X give kNoEffect.
int32_t S3MEffect(int32_t letter);

// +x for a parameter x0, -y for 0y, 0 when both or neither nibble is set.
int32_t SlideOf(int32_t param);

// True when the row starts a tone portamento rather than a note: effect 3
// or 5, or an XM volume-column portamento (Fx).
bool IsTonePorta(FileFormat kind, const RowValues& row);

// Row effects of channel c at tick 0. A pattern loop that goes back sets
// p.raw_jump, which the sequencer takes at the end of the row.
void ApplyRowEffect(Player& p, FileFormat kind, int c, const RowValues& row);

// What the per-tick stage gives the mixer for one voice.
struct TickOutput {
    int32_t period;   // heard on this tick (vibrato, arpeggio included)
    int32_t tremolo;  // volume offset (tremolo; a tremor's silence)
};

// Per-tick effects of voice c: note cut, volume column, note delay, key
// off, the cell's command, retrigger and tremor, the volume and global
// volume slides, the XM instrument vibrato.
TickOutput ApplyTickEffects(Player& p, FileFormat kind, int c, const RowValues& row);

// XM key off: the volume envelope's sustain is let go and the fade-out
// starts; without a volume envelope the note is cut.
void KeyOff(Voice& v, const Mod& song);

}  // namespace moddeck
