// The module player's process-wide state. There is one player per process;
// its state is plain variables grouped here by who writes them. Only the
// variables that two threads touch while a module plays are atomics.
#pragma once

#include <atomic>
#include <cstdint>

#include "song/song.h"

namespace moddeck {

constexpr int kMaxSongs = 32;
constexpr int kBlockFrames = 4410;            // 100 ms at 44100 Hz
constexpr int kBlockSamples = 2 * kBlockFrames;
constexpr int kOutputRate = 44100;

// ---- Song list: written by the loader entry, stepped by the sequencer at
// the end of a song.
extern Mod* SONG;                       // the song being played
extern Mod* Liste_mods[kMaxSongs];      // entries 0..Liste_mods_nm-1 are owned
extern int32_t Liste_mods_nm;           // number of entries
extern int32_t Liste_mods_n;            // entry being played
extern uint8_t plusieurs_mod;           // bit 0: songs come from Liste_mods
extern uint8_t new_song;                // 1 once the song has wrapped to order 0
// Set by the shell just after the output thread starts: 0 advances to the
// next list entry at a song's end, non-zero replays the same one.
extern std::atomic<uint8_t> PLAYER_PARAMS;

// ---- Position: stepped by the sequencer. `pattern` (an order index) is also
// moved by the "+" and "-" keys from the main thread while a module plays.
extern std::atomic<int32_t> pattern;
extern int32_t raw;           // row within the pattern
extern int32_t ticks;         // tick within the row
extern int32_t looppattern;   // remaining pattern-loop repeats; never reset
extern int32_t raw_jump;      // row a pattern loop returns to
extern int32_t patterndelay;  // remaining extra plays of the row

// ---- Timing and gain: sequencer and effects.
extern int32_t base;              // frame of the voice buffers where the next tick goes
extern int32_t LEN_TICK;          // output frames per tick
extern float frequencegenerale;   // ticks per second
extern int32_t NVoices;           // channels of the current song
extern float MASTERVOLUME;        // master gain, at most 1.0
// Bit 0: reset MASTERVOLUME to 1.0 at the renderer's next call; set by the
// shell just after the output thread starts.
extern std::atomic<uint8_t> VOLUMEOP;

// ---- Voices: one per channel, written by the sequencer, effects and mixer.
struct Voice {
    int32_t period;  // 0 = silent
    int32_t tremolodepth;
    int32_t tremolospeed;
    int32_t instrument;  // MOD/S3M sample slot, XM instrument 1..128; 0 = none
    float position;      // sample frame; the fraction weights the interpolation
    int32_t rowticks;    // ticks per row: only Voices[0] is used (the song speed)
    int32_t finecount;   // S3M extra-fine portamento tick counter
    int32_t volume;      // 0..63
    int32_t volslide;
    int32_t cuttick;     // -1 = none
    int32_t note;
    int32_t finetune;    // MOD/S3M: period-table row; XM: sample finetune
    int32_t finevolslide;
    int32_t vibdepth;
    int32_t vibspeed;
    int32_t delaytick;   // silent while ticks < delaytick
    int32_t fineportadown;
    int32_t fineportaup;
    int32_t xfineportadown;
    int32_t xfineportaup;
    int32_t arpstep;
    int32_t arpx;
    int32_t arpy;
    int32_t portaup;
    int32_t portadown;
    int32_t vibpos;
    int32_t trempos;
    int32_t delayvolume;
    float delayposition;
    int32_t delayperiod;
    int32_t portaspeed;
    int32_t portatarget;
    int32_t fadevolume;  // XM fade-out level, 65536 = full
    int32_t fadestep;
    int32_t samplenum;   // XM: sample of the instrument
    int32_t volenvpos;
    int32_t panenvpos;
};
extern Voice Voices[kMaxChannels];

// ---- Mix buffers: created by the module start, released by the module stop.
extern int16_t* ptrVoices[kMaxChannels];          // per-voice interleaved stereo
extern int16_t ActualBufferToBeMixed[kBlockSamples];  // the finished block
extern int16_t* Saturation;                        // clamp table, indexed at 65536 + x
extern float pan[kMaxChannels];                    // share of each channel sent left

// ---- Module output thread handshake: the shell writes EXITMIXER and
// PLAYER_ON, the thread writes TERMINATED.
extern std::atomic<uint8_t> EXITMIXER;
extern std::atomic<uint8_t> PLAYER_ON;
extern std::atomic<int32_t> TERMINATED;

// ---- Shell texts for the About view, built when a file is opened.
constexpr int kTitleSize = 256;
constexpr int kSamplesSize = 4096;
extern char TitleSong[kTitleSize];
extern char SamplesSong[kSamplesSize];

}  // namespace moddeck
