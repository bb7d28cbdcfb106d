// The song record: the one in-memory form of a tracker module, whatever
// file it came from. A loader fills it; from then on it is read-only, so any
// number of players may play it at once (what playback changes lives in the
// player); FreeModSong releases it. Plain data: there are no operations here.
#pragma once

#include <cstdint>

namespace moddeck {

// Limits of the record.
constexpr int kMaxChannels = 32;
constexpr int kMaxOrders = 4096;
constexpr int kMaxInstruments = 128;  // numbered 1..128
constexpr int kSampleSlots = 256;     // slots 1..255 usable
constexpr int kEnvelopePoints = 12;
constexpr int kNoteMapSize = 120;
constexpr int kMaxRows = 65535;

struct EnvelopePoint {
    uint16_t x;  // tick
    int16_t y;   // value 0..64
};

// One sample: signed 16-bit mono frames. Lengths and loop points are in
// frames. MOD data carries 10 zeroed guard frames past `length`.
struct ModSample {
    char name[64];
    int32_t length;
    int32_t finetune;      // XM -128..127, MOD -8..7, S3M -7..7
    int32_t volume;        // 0..64
    int32_t loopStart;
    int32_t loopLength;    // 0 = no loop (MOD, S3M)
    int32_t relativeNote;  // XM
    int32_t loopType;      // XM: 0 none, 1 forward, 2 ping-pong
    int32_t panning;       // XM: 0..255
    int16_t* data;         // owned; null when length is 0
    int32_t is16Bit;
    int32_t c2spd;         // S3M middle-C rate
    int32_t fileOffset;    // S3M, while loading
    int32_t loopOn;        // S3M
    int32_t stereo;        // S3M
};

// An XM instrument; it owns its samples.
struct ModInstrument {
    char name[22];  // not terminated
    int32_t nbSamples;
    int32_t noteSample[kNoteMapSize];
    EnvelopePoint volEnvelope[kEnvelopePoints];
    EnvelopePoint panEnvelope[kEnvelopePoints];
    int32_t nbPanPoints;
    int32_t nbVolPoints;
    int32_t volSustain;
    int32_t volLoopStart;
    int32_t volLoopEnd;
    int32_t panSustain;
    int32_t panLoopStart;
    int32_t panLoopEnd;
    int32_t volType;  // bit 0 on, bit 1 sustain, bit 2 loop
    int32_t panType;
    int32_t vibType;
    int32_t vibDepth;
    int32_t vibSweep;
    int32_t vibRate;
    int32_t fadeout;  // 0..65535
    ModSample* samples;  // owned, nbSamples records; null when none
};

// The player's own effects. Loaders translate each format's commands into
// them once, at load; the parameter is the file's unless noted. The
// effect's memory lives in the voice; where formats differ in how one
// effect behaves, the song's Behaviour says how.
enum class Effect : uint8_t {
    None,
    Arpeggio,              // xy: the note, +x, +y semitones in turn
    PortaUp,               // slide speed (or fine and extra fine: Behaviour)
    PortaDown,
    FinePortaUp,           // y once, on the row's first tick
    FinePortaDown,
    ExtraFinePorta,        // 1y up, 2y down, a quarter of a fine step, once
    TonePorta,             // speed towards the row's note
    TonePortaVolumeSlide,  // the tone portamento goes on; parameter: a volume slide
    Vibrato,               // xy: speed, depth
    FineVibrato,           // a quarter of the depth
    VibratoVolumeSlide,    // the vibrato goes on; parameter: a volume slide
    Tremolo,               // xy: speed, depth
    Tremor,                // xy: on x ticks, off y ticks
    Panning,               // the voice's panning, 0 left .. 255 right
    ChannelPanning,        // the channel's, 0 left .. 0x80 right, beyond: centre
    ChannelPanningCoarse,  // the channel's, y: 0 left .. 15 right
    SampleOffset,          // the note starts 256 * parameter frames in
    VolumeSlide,           // x0 up, 0y down (fine slides: Behaviour)
    FineVolumeUp,          // y once, on the row's first tick
    FineVolumeDown,
    SetVolume,
    PositionJump,          // to the order entry
    PatternBreak,          // to the row of the next entry
    PatternLoop,           // y = 0 marks the start, y > 0 plays back y times
    PatternDelay,          // the row plays y more times
    SetSpeed,              // ticks per row
    SetTempo,              // beats per minute, 32..255
    SetGlobalVolume,       // 0..64
    GlobalVolumeSlide,     // x0 up, 0y down
    KeyOff,                // on tick y
    EnvelopePosition,      // the instrument's envelopes jump to this tick
    PanningSlide,          // x0 right, 0y left
    MultiRetrigger,        // xy: every y ticks, the volume changed by x
    Retrigger,             // every y ticks
    NoteCut,               // on tick y
    NoteDelay,             // the row's note waits y ticks
    SetFinetune,           // y: the sample's finetune, signed nibble
    Count
};

// The volume column's effects, translated at load like the others: XM's
// commands, and S3M's volume. The parameter is in the player's units.
enum class VolumeEffect : uint8_t {
    None,
    SetVolume,          // on the row's first tick (XM 0..64; S3M as the file says)
    SlideDown,          // by the parameter on the ticks after the first
    SlideUp,
    FineSlideDown,      // once, on the row's first tick
    FineSlideUp,
    VibratoSpeed,       // the vibrato's speed, 0 included
    Vibrato,            // the vibrato's depth (0 keeps it); plays unless the effect's own vibrato does
    Panning,            // the voice's panning, 0..240
    PanningSlideLeft,   // by the parameter on the ticks after the first
    PanningSlideRight,
    TonePorta,          // speed (0 keeps it); slides unless the effect's own tone portamento does
};

// One cell of one channel at one row.
struct ModCell {
    int16_t note;        // -1 = none. XM 1..96, 97 key off; MOD 0..107; S3M octave*12+semitone
    uint8_t instrument;  // XM instrument, MOD/S3M sample slot; 0 = none
    int16_t period;      // MOD: Amiga period of the file
    VolumeEffect volumeEffect;  // the volume column
    uint8_t volumeParam;
    Effect effect;
    uint8_t param;       // pattern break stored as binary (0x12 -> 12)
};

// The period tables and slide units a song's notes play by.
enum class PeriodSystem : uint8_t {
    Amiga,  // MOD: the Amiga table, slides of 2 within 58..14919
    S3M,    // the S3M table, slides of 2 within 58..29838
    XM,     // XM note periods, linear or Amiga as the song says
};

// What the note column holds past the notes.
enum class NoteColumn : uint8_t {
    Notes,   // MOD: notes only
    KeyOff,  // XM: 97 releases the key, anything above is no note
    Cut,     // S3M: past the table the note is cut (^^^)
};

// How a song plays where the formats (and the trackers that made the
// files) differ. The loader sets it; the engine reads it, never the format.
struct Behaviour {
    PeriodSystem periods = PeriodSystem::Amiga;
    NoteColumn noteColumn = NoteColumn::Notes;
    // XM: cells name instruments (note maps, envelopes, fade-out,
    // instrument vibrato, the voice's own panning), not sample slots.
    bool instruments = false;
    // Patterns end after row 63, whatever the pattern record holds (MOD, S3M).
    bool sixtyFourRows = false;
    // Volume slides act on the row's first tick as well (S3M with the
    // header's fast-slides flag, or saved by Scream Tracker 3.00).
    bool volumeSlidesOnFirstTick = false;
    // Fine slides in the parameter's high nibble (S3M D, E, F: DxF, DFy
    // fine volume; EFy, FFy fine and EEy, FEy extra fine portamento).
    bool fineSlidesInParameter = false;
    // A zero parameter repeats the last of the volume slides and the fine
    // slides (XM, S3M); MOD slides by 0, and its fine portamento sets the
    // portamento's speed.
    bool slidesRemember = false;
    // The vibrato plays the plain note on the row's first tick (MOD).
    bool vibratoRestsOnFirstTick = false;
    // A tremor is on x + 1 ticks and off y + 1 (XM); else x and y, at least 1.
    bool tremorCountsFromZero = false;
    // The tremor's off phase writes the voice's heard volume, which stays
    // silent after the effect until an instrument number; its count rests on
    // the row's first tick (XM). Else it mutes only while it plays.
    bool tremorWritesVolume = false;
    // A note delay on a row without a note plays the channel's last note
    // again on its tick, with the row's instrument and volume column (XM);
    // else the row just waits.
    bool delayAloneRepeatsNote = false;
    // A position jump in a channel after a pattern break's lands on row 0
    // (MOD, XM); else on the break's row.
    bool laterJumpCancelsBreakRow = false;
    // An instrument number alone that names a sample without data stops
    // the note playing (MOD); else the note goes on.
    bool emptySampleAloneStopsNote = false;
    // The order table holds marker entries: a jump passes over them, and
    // a break onto one ends the song (S3M).
    bool orderMarkers = false;
    // The volume column acts after the effect's early part and only on a
    // voice with a sample (S3M); else first of all (XM). Either way on the
    // tick the row's note starts.
    bool volumeColumnAfterEarlyPart = false;
    // The song's speed and tempo start it (XM, S3M); else 6 and 125.
    bool songSetsSpeedAndTempo = false;
    // The channels start at the song's pans (S3M); else at the classic
    // left-right pairs.
    bool songSetsChannelPans = false;
    // The header's global volume starts the song, 0 taken as none (S3M).
    bool headerSetsGlobalVolume = false;
    // Each sample says how it loops: not at all, forward or ping-pong (XM);
    // else a loop of 0 or 2 frames is none, as the Amiga trackers stored
    // "no loop", and any other plays forward (MOD, S3M).
    bool samplesNameTheirLoop = false;
    // A one-shot sample sounds the frame at its length, silence, before it
    // stops, as the Amiga and PC trackers read one guard frame past the
    // data (MOD, S3M); else it stops at its end (XM).
    bool oneShotSoundsFramePastEnd = false;
    // A mono song plays at the level its header's master volume asks for,
    // as the tracker's mono output did (S3M); a stereo one keeps its level.
    bool monoPlaysAtMasterVolume = false;
    // Written for the Amiga's sound chip (MOD): the listener's Amiga mode
    // plays it at the PAL Amiga's clock and with the chip's hard left,
    // right, right, left channels.
    bool amigaModeApplies = false;
};

// Channel-major: the cell of channel c at row r is tracks[c][r].
struct ModPattern {
    ModCell* tracks[kMaxChannels];  // owned; null for unused channels
    int32_t nbRows;
};

struct Mod {
    uint32_t isXM;
    uint32_t isS3M;
    int32_t nbChannels;  // the voices the sequencer plays
    // The channels the song is written for, as a listener is told them: the
    // header's count. An S3M may play more (its patterns may hold events on
    // channels its header leaves unused) or fewer (it may list channels it
    // never plays on).
    int32_t declaredChannels;
    int32_t orders[kMaxOrders];
    uint8_t channelSettings[kMaxChannels];
    int32_t nbPatterns;
    ModPattern* patterns;  // owned, nbPatterns records
    int32_t songLength;
    char title[64];
    char tracker[32];  // what the file says saved it, as text; "" when it does not tell
    ModInstrument instruments[kMaxInstruments + 1];  // XM; entry 0 never filled
    int32_t nbInstruments;  // XM: instruments; S3M: samples
    int32_t linearFreq;
    ModSample samples[kSampleSlots];  // MOD and S3M; slot 0 never filled
    float channelPan[kMaxChannels];   // S3M: share of the channel sent left
    int32_t restartPos;
    int32_t bpm;
    int32_t speed;
    uint8_t s3mHeader[6];  // S3M: global volume, speed, tempo, master volume, click removal, pan table marker
    Behaviour behaviour;   // how the song plays where formats differ
    uint16_t s3mFlags;     // S3M header flags
    uint16_t s3mTracker;   // S3M: version of the tracker that saved the file
    uint16_t instrumentOffsets[512];
    uint16_t patternOffsets[513];
};

}  // namespace moddeck
