// The song record: the one in-memory form of a tracker module, whatever
// file it came from. A loader fills it; from then on it is read-only, so any
// number of players may play it at once (what playback changes lives in the
// player); FreeModSong releases it. Plain data: there are no operations here.
#pragma once

#include <cstdint>

namespace moddeck {

// Limits of the record.
constexpr int kMaxChannels = 64;         // IT; MOD, S3M and XM hold at most kClassicMaxChannels
constexpr int kClassicMaxChannels = 32;
constexpr int kMaxOrders = 4096;
constexpr int kMaxInstruments = 128;  // numbered 1..128
constexpr int kSampleSlots = 256;     // slots 1..255 usable
constexpr int kEnvelopePoints = 25;  // IT; XM files hold 12
constexpr int kNoteMapSize = 120;
constexpr int kMaxRows = 65535;

struct EnvelopePoint {
    uint16_t x;  // tick
    int16_t y;   // volume 0..64; panning and pitch 0..64 (XM) or -32..32 (IT)
};

// The bits of an envelope's type.
enum EnvelopeType : int32_t {
    kEnvelopeOn = 1,
    kEnvelopeSustain = 2,  // held at the sustain point (or looping over the sustain loop) while the key is down
    kEnvelopeLoop = 4,
    kEnvelopeCarry = 8,    // a new note of the instrument goes on from where the last one's envelope was (IT)
    kEnvelopeFilter = 16,  // the pitch envelope moves the filter's cutoff instead (IT)
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
    int32_t stereo;        // S3M, IT: the file's sample is stereo (the record holds it mixed to mono)
    // IT: the sample's own global volume (0..64), its sustain loop (played
    // while the key is down, in place of the loop; type as loopType), its
    // default panning (when setsPanning) and its vibrato, as XM instruments
    // have theirs. c2spd holds its C-5 rate.
    int32_t globalVolume;
    int32_t sustainStart;
    int32_t sustainLength;  // 0 = none
    int32_t sustainType;    // 0 none, 1 forward, 2 ping-pong
    int32_t setsPanning;    // the note takes `panning` (0..255)
    int32_t vibType;        // 0 sine, 1 ramp down, 2 square, 3 random
    int32_t vibDepth;
    int32_t vibSweep;
    int32_t vibRate;
};

// What happens to the note playing in a channel when a new one comes
// (IT): it is cut, goes on in the background, is let go (key off) or fades.
enum class NewNoteAction : uint8_t { Cut, Continue, NoteOff, Fade };

// Which notes of the channel's background voices count as the same as a
// new one (IT's duplicate check), and what is done to them.
enum class DuplicateCheck : uint8_t { Off, Note, Sample, Instrument };
enum class DuplicateAction : uint8_t { Cut, NoteOff, Fade };

// An XM or IT instrument. An XM one owns its samples; an IT one names the
// song's sample slots in its note map (Behaviour::instrumentsShareSamples).
struct ModInstrument {
    char name[26];  // not terminated (XM 22 bytes, IT 26)
    int32_t nbSamples;
    int32_t noteSample[kNoteMapSize];
    EnvelopePoint volEnvelope[kEnvelopePoints];
    EnvelopePoint panEnvelope[kEnvelopePoints];
    int32_t nbPanPoints;
    int32_t nbVolPoints;
    int32_t volSustain;     // a point; IT's sustain loop runs on to volSustainEnd
    int32_t volSustainEnd;  // not past volSustain: hold at volSustain (XM)
    int32_t volLoopStart;
    int32_t volLoopEnd;
    int32_t panSustain;
    int32_t panSustainEnd;
    int32_t panLoopStart;
    int32_t panLoopEnd;
    int32_t volType;  // EnvelopeType bits
    int32_t panType;
    // IT: the pitch envelope (-32..32, half-semitones), or the filter's
    // when pitchType has kEnvelopeFilter.
    EnvelopePoint pitchEnvelope[kEnvelopePoints];
    int32_t nbPitchPoints;
    int32_t pitchSustain;
    int32_t pitchSustainEnd;
    int32_t pitchLoopStart;
    int32_t pitchLoopEnd;
    int32_t pitchType;
    int32_t vibType;
    int32_t vibDepth;
    int32_t vibSweep;
    int32_t vibRate;
    int32_t fadeout;  // after a key off the fade level (65536 = full) falls by twice this a tick
    ModSample* samples;  // owned, nbSamples records; null when none (IT)
    // IT: the note each note plays (the note map's other half; noteSample
    // names song sample slots, 0 none), what a new note does to this one,
    // the duplicate check, global volume (0..128), default panning (when
    // setsPanning, 0..255), pitch-pan separation (-32..32 around
    // pitchPanCenter, a note 0..119), random variation of volume (percent)
    // and panning (0..64), and the filter's cutoff and resonance (0..127;
    // -1 leaves the channel's as they are).
    int32_t noteMap[kNoteMapSize];
    NewNoteAction newNoteAction;
    DuplicateCheck duplicateCheck;
    DuplicateAction duplicateAction;
    int32_t globalVolume;
    int32_t setsPanning;
    int32_t panning;
    int32_t pitchPanSeparation;
    int32_t pitchPanCenter;
    int32_t randomVolume;
    int32_t randomPanning;
    int32_t filterCutoff;
    int32_t filterResonance;
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
    // IT's own.
    ChannelVolume,         // the channel's volume, 0..64
    ChannelVolumeSlide,    // as the volume slide, fine steps included
    ChannelPanningSlide,   // x0 left, 0y right; xF, Fy fine
    TempoSlide,            // 0x down, 1x up, by x on the ticks after the first
    FinePatternDelay,      // the row lasts y more ticks
    HighOffset,            // y * 65536 frames added to the sample offsets to come
    Panbrello,             // xy: speed, depth
    VibratoWaveform,       // y: sine, ramp down, square, random
    TremoloWaveform,
    PanbrelloWaveform,
    InstrumentControl,     // S7x: background notes and envelopes (the note trigger's)
    Macro,                 // IT Zxx: 00..7F the channel's macro (SFx) with xx, 80..8F the resonance (xx - 80) * 8
    MacroSelect,           // IT SFx: the macro Z00..Z7F runs
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
    PortaDown,          // IT: a portamento of this speed, in the effect's memory (0 keeps it)
    PortaUp,
};

// One cell of one channel at one row.
struct ModCell {
    int16_t note;        // -1 = none. XM 1..96, 97 key off; MOD 0..107; S3M octave*12+semitone; IT 0..119 and NoteColumn::OffCutFade
    uint8_t instrument;  // XM/IT instrument, MOD/S3M/IT sample-mode sample slot; 0 = none
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
    IT,     // notes 0..119 at their sample's C-5 rate: linear slides (in 1/64
            // semitone) when the song says so, else S3M-style periods
};

// What the note column holds past the notes.
enum class NoteColumn : uint8_t {
    Notes,   // MOD: notes only
    KeyOff,  // XM: 97 releases the key, anything above is no note
    Cut,     // S3M: past the table the note is cut (^^^)
    OffCutFade,  // IT: notes 0..119, then kCellNoteOff, kCellNoteCut, kCellNoteFade
};

// IT's note column past its notes.
constexpr int16_t kCellNoteOff = 120;
constexpr int16_t kCellNoteCut = 121;
constexpr int16_t kCellNoteFade = 122;

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
    // IT: instruments name the song's sample slots through their note map
    // (ModInstrument::noteSample, noteMap) rather than owning samples.
    bool instrumentsShareSamples = false;
    // IT: a new note lets the one playing go on in the background as its
    // instrument's new-note action says, within the duplicate check.
    bool newNoteActions = false;
    // IT: sample and instrument global volumes apply, and the song's global
    // volume runs 0..128.
    bool globalVolumesOf128 = false;
    // IT header flags: effects as the trackers before IT's own (old effects);
    // Gxx with its own memory and instrument numbers that restart the note
    // under a tone portamento (compatible Gxx).
    bool oldEffects = false;
    bool compatibleGxx = false;
    // IT: the portamento up and down keep one memory, which the tone
    // portamento shares unless compatibleGxx.
    bool portaSlidesShareMemory = false;
    // IT without old effects: the vibrato and tremolo move on on every
    // tick, the row's first included; the vibrato swings half as far as the
    // classic trackers', its pitch rising first.
    bool modulationEveryTick = false;
    bool vibratoHalfDepth = false;
    // IT: the vibrato moves on before it is heard; the tremolo is heard on
    // the row's first tick too, half as deep as the classic trackers'.
    bool vibratoMovesFirst = false;
    bool tremoloEveryTickHalfDepth = false;
    // IT: J00 repeats the last arpeggio.
    bool arpeggioRemembers = false;
    // IT without old effects: a sample offset past the sample's end plays
    // it from the start; else the note is silent.
    bool offsetPastEndRestarts = false;
    // IT: the global volume slide keeps its memory per channel and has the
    // volume slide's fine steps.
    bool globalVolumeSlidePerChannel = false;
    // IT: a pattern loop that has played out starts the channel's next
    // loop on the row after its end.
    bool loopEndStartsNextLoop = false;
    // The mixing volume is shared out by the song's channels, the more the
    // quieter, as the early ModPlug Tracker mixed (IT files it saved).
    bool levelFallsWithChannels = false;
};

// Channel-major: the cell of channel c at row r is tracks[c][r].
struct ModPattern {
    ModCell* tracks[kMaxChannels];  // owned; null for unused channels
    int32_t nbRows;
};

struct Mod {
    uint32_t isXM;
    uint32_t isS3M;
    uint32_t isIT;
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
    int32_t nbInstruments;  // XM, IT: instruments; S3M: samples
    int32_t linearFreq;
    ModSample samples[kSampleSlots];  // MOD and S3M; slot 0 never filled
    float channelPan[kMaxChannels];   // S3M, IT: share of the channel sent left
    int32_t restartPos;
    int32_t bpm;
    int32_t speed;
    uint8_t s3mHeader[6];  // S3M: global volume, speed, tempo, master volume, click removal, pan table marker
    Behaviour behaviour;   // how the song plays where formats differ
    uint16_t s3mFlags;     // S3M header flags
    uint16_t s3mTracker;   // S3M: version of the tracker that saved the file
    uint16_t instrumentOffsets[512];
    uint16_t patternOffsets[513];
    // IT: the header's flags and special word, the version that saved the
    // file and the one it needs, its global volume (0..128), mixing volume
    // (0..128) and stereo separation (0..128); the channels' volumes
    // (0..64); the song message (owned, NUL-terminated, lines ended by
    // '\n'; null when none).
    uint16_t itFlags;
    uint16_t itSpecial;
    uint16_t itCreatedWith;
    uint16_t itCompatibleWith;
    int32_t itGlobalVolume;
    int32_t itMixVolume;
    int32_t itSeparation;
    int32_t channelVolume[kMaxChannels];
    char* message;
    int32_t nbSamples;  // IT: the sample slots the file fills, 1..nbSamples
};

}  // namespace moddeck
