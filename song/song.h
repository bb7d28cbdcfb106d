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

// One cell of one channel at one row. The note, volume and effect columns
// keep their format's encoding; the player reads them by the song's flags.
struct ModCell {
    int16_t note;        // -1 = none. XM 1..96, 97 key off; MOD 0..107; S3M octave*12+semitone
    uint8_t instrument;  // XM instrument, MOD/S3M sample slot; 0 = none
    int16_t period;      // MOD: Amiga period of the file
    uint8_t volume;      // XM: volume-column byte; S3M: 0..64, 255 = empty
    uint8_t effect;      // XM/MOD effect number; S3M letter number (1 = A)
    uint8_t param;       // pattern break stored as binary (0x12 -> 12)
};

// Channel-major: the cell of channel c at row r is tracks[c][r].
struct ModPattern {
    ModCell* tracks[kMaxChannels];  // owned; null for unused channels
    int32_t nbRows;
};

struct Mod {
    uint32_t isXM;
    uint32_t isS3M;
    int32_t nbChannels;
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
    uint16_t s3mFlags;     // S3M header flags (0x40: volume slides act on tick 0 too)
    uint16_t s3mTracker;   // S3M: version of the tracker that saved the file
    uint16_t instrumentOffsets[512];
    uint16_t patternOffsets[513];
};

}  // namespace moddeck
