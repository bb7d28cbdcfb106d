// The commands of the formats' cells, as their files number them, and
// their translation into the player's own effects (song/song.h), which
// every loader does once per cell; and the song behaviour each format and
// tracker asks for.
#pragma once

#include <cstdint>

#include "song/format.h"
#include "song/song.h"

namespace moddeck {

// MOD and XM command numbers (MOD has 0..15; XM letters G.. follow F).
enum TrackerCommand : uint8_t {
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
    kExtended = 14,  // Exy: the sub-command x with y
    kSpeedTempo = 15,
    kSetGlobalVolume = 16,    // G
    kGlobalVolumeSlide = 17,  // H
    kKeyOff = 20,             // K
    kEnvelopePosition = 21,   // L
    kPanningSlide = 25,       // P
    kMultiRetrigger = 27,     // R
    kTremor = 29,             // T
    kExtraFinePorta = 33,     // X
    // Played as the fine vibrato, though no tracker writes it.
    kXMFineVibrato = 67,
};

// The cell's effect and parameter for MOD or XM command `command` with
// parameter `param` as the file holds it (a pattern break's row in two
// decimal digits). Commands the format does not play become no effect.
void TranslateTrackerCommand(uint8_t command, uint8_t param, bool xm, ModCell& cell);

// The same for the S3M command letter `letter` (1 = A; 0 none).
void TranslateS3MCommand(uint8_t letter, uint8_t param, ModCell& cell);

// The cell's volume column for the byte an XM cell holds there.
void TranslateXMVolumeColumn(uint8_t byte, ModCell& cell);

// The same for an S3M cell's volume (255: none; above 64 the voice's
// volume is kept within its range when it plays).
void TranslateS3MVolume(uint8_t volume, ModCell& cell);

// The same for the IT command letter `letter` (1 = A .. 26 = Z; 0 none),
// its parameter as the file holds it (a pattern break's row in binary).
void TranslateITCommand(uint8_t letter, uint8_t param, ModCell& cell);

// The cell's volume column for the byte an IT cell holds there: 0..64
// volume, 65..124 fine and normal volume slides and portamento, 128..192
// panning 0..64, 193..212 tone portamento and vibrato; anything else none.
void TranslateITVolumeColumn(uint8_t byte, ModCell& cell);

// IT header flags that change how a song plays.
enum ITFlag : uint16_t {
    kITStereo = 1 << 0,
    kITInstrumentMode = 1 << 2,
    kITLinearSlides = 1 << 3,
    kITOldEffects = 1 << 4,
    kITCompatibleGxx = 1 << 5,
};

// The behaviour of a song of `format`; for S3M and IT, as the header's
// flags (and for S3M the version word of the tracker that saved it, for IT
// ITTrackerOf's word) ask.
Behaviour BehaviourOf(FileFormat format, uint16_t flags = 0, uint16_t tracker = 0);

// An IT header's "created with" word, or kITSavedByModPlug for the early
// ModPlug Tracker's files (2.17 compatible with 2.00), which play at its
// own mixing levels.
constexpr uint16_t kITSavedByModPlug = 0xFFFF;
constexpr uint16_t ITTrackerOf(uint16_t createdWith, uint16_t compatibleWith) {
    return createdWith == 0x0217 && compatibleWith == 0x0200 ? kITSavedByModPlug : createdWith;
}

}  // namespace moddeck
