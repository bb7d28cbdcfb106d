// The module player: one plain record holding everything a playing module
// needs besides its song (the song list, the position, the tick timing, the
// voices, their buffers, the finished block and the handshake with the
// output thread). Engine functions take the player they work on, so two
// players can render side by side; the application and its output thread
// share one process-wide instance.
//
// Threads: while a module plays, its output thread alone renders and so
// alone touches the plain fields. The shell writes them only while no output
// thread runs. The fields both sides use while it runs are atomics, each
// marked with who writes it.
#pragma once

#include <atomic>
#include <cstdint>

#include "song/song.h"

namespace moddeck {

constexpr int kMaxSongs = 32;
constexpr int kBlockFrames = 4410;            // 100 ms at 44100 Hz
constexpr int kBlockSamples = 2 * kBlockFrames;
constexpr int kOutputRate = 44100;

// Each voice buffer holds 707,648 bytes: 176,912 interleaved stereo frames,
// room for the block plus the longest tick a header tempo of 1 can ask for.
constexpr int kVoiceBufferBytes = 707648;
constexpr int kVoiceBufferFrames = kVoiceBufferBytes / 4;
// The fast mixer's running sum is as long, with room for the frames its
// last vector of a run touches past a tick's end (adding nothing there).
constexpr int kMixPadFrames = 8;
constexpr int kMixBufferBytes = kVoiceBufferBytes + 4 * kMixPadFrames;
// Blocks a tick rendered ahead may reach into: each keeps its meter peaks.
constexpr int kPeakBlocks = kVoiceBufferFrames / kBlockFrames + 1;

// The instructions the fast mixer's runs use (engine/mixer_runs.h).
enum class MixerIsa : uint8_t { Scalar, Sse2, Avx2 };

// One channel's playing note, sample position and effect memories.
struct Voice {
    int32_t period;  // 0 = silent
    int32_t tremolodepth;
    int32_t tremolospeed;
    int32_t instrument;  // MOD/S3M sample slot, XM instrument 1..128; 0 = none
    int64_t position;    // sample frame in 32.32 fixed point; the fraction weights the interpolation
    int32_t rowticks;    // ticks per row: only Voices[0] is used (the song speed)
    int32_t finecount;   // S3M extra-fine slides: the half step not yet taken
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
    int64_t delayposition;
    int32_t delayperiod;
    int32_t portaspeed;
    int32_t portatarget;
    int32_t fadevolume;  // XM fade-out level, 65536 = full
    int32_t fadestep;
    int32_t samplenum;   // XM: sample of the instrument
    int32_t volenvpos;   // XM envelope positions, in ticks
    int32_t panenvpos;

    int32_t lastinstrument;  // MOD/S3M: the instrument the channel's next note plays
    int32_t loopstart;       // row a pattern loop of this channel returns to
    int32_t loopcount;       // repeats left of that loop, 0 when not looping
    int32_t offset;          // last sample offset asked for, in frames
    int32_t panning;         // XM: 0 (left) .. 255 (right)
    uint8_t keyoff;          // XM: key released: sustain let go, fade-out running
    int32_t autovibpos;      // XM instrument vibrato: waveform position 0..255
    int32_t autovibticks;    // ticks since the note, for the vibrato's sweep
    int32_t retrigcount;     // ticks since the last retrigger
    int32_t tremorcount;     // ticks into the tremor's on/off cycle
    // Effect memories: the last non-zero parameter, which a zero one repeats.
    int32_t volslidemem;     // XM A/5/6, S3M D/K/L
    int32_t fineportaupmem;  // XM E1y
    int32_t fineportadownmem;  // XM E2y
    int32_t finevolupmem;    // XM EAy
    int32_t finevoldownmem;  // XM EBy
    int32_t xfineportamem;   // XM X1y/X2y
    int32_t panslidemem;     // XM P
    int32_t retrigmem;       // XM R, S3M Q
    int32_t tremormem;       // XM T, S3M I
};

// What a screen shows of a playing module. The renderer copies these few
// figures once per block, only while `wanted` is set, so that the shell never
// reads the renderer's own state.
struct PlayerMeters {
    std::atomic<uint16_t> peak[kMaxChannels] = {};  // loudest sample of each channel's last block
    std::atomic<int32_t> row{0};                     // row at the end of the last block
    std::atomic<uint32_t> blocks{0};                 // blocks rendered since the module started
    std::atomic<bool> wanted{false};                 // written by the shell
};

// Whether a player gets voice buffers: one without them runs the sequencer
// and the effects but renders no sound (the song-length run).
enum class VoiceBuffers { Allocated, None };

struct Player {
    // The running sum and the voice buffers are allocated zero-filled here
    // and live as long as the player: a new song clears what may hold sound
    // in them. The player releases its song list when it goes.
    explicit Player(VoiceBuffers buffers = VoiceBuffers::Allocated);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // ---- Song list: filled by the loader entry, stepped by the renderer at
    // the end of a song.
    Mod* SONG = nullptr;                  // the song being played
    Mod* Liste_mods[kMaxSongs] = {};      // entries 0..Liste_mods_nm-1 are owned
    int32_t Liste_mods_nm = 0;            // number of entries
    int32_t Liste_mods_n = 0;             // entry being played
    uint8_t plusieurs_mod = 0;            // bit 0: songs come from Liste_mods
    uint8_t new_song = 0;                 // 1 once the song has wrapped to order 0
    // Written by the shell: 0 advances to the next list entry at a song's
    // end, non-zero replays the same one.
    std::atomic<uint8_t> PLAYER_PARAMS{0};
    // Written by the shell: 1 makes everything after a song's end silent
    // (the player moves on to another file instead of looping).
    std::atomic<uint8_t> silentAfterEnd{0};
    // Written by the renderer: how many times the song has reached its end.
    std::atomic<uint32_t> songEnds{0};

    // ---- Position.
    std::atomic<int32_t> pattern{0};      // order index being played; written by the renderer
    // Order entries the keys asked to move by (written by the shell with
    // fetch_add, taken by the renderer at the start of its next tick), so
    // that no step is lost to the renderer's own moves.
    std::atomic<int32_t> orderSteps{0};
    int32_t raw = 0;                      // row within the pattern
    int32_t ticks = 0;                    // tick within the row
    int32_t raw_jump = -1;                // row a pattern loop goes back to at the row's end; -1 none
    int32_t patterndelay = 0;             // remaining extra plays of the row

    // ---- Timing and gain.
    int32_t base = 0;                     // frame of the voice buffers where the next tick goes
    int32_t LEN_TICK = 882;               // output frames per tick
    float frequencegenerale = 50.0f;      // ticks per second
    int32_t NVoices = 4;                  // channels of the current song
    float MASTERVOLUME = 1.0f;            // master gain, at most 1.0
    // Bit 0, set by the shell: reset MASTERVOLUME to 1.0 at the next block.
    std::atomic<uint8_t> VOLUMEOP{0};

    // ---- Voices and their buffers.
    Voice Voices[kMaxChannels] = {};
    float pan[kMaxChannels] = {};            // share of each channel sent left
    int16_t ActualBufferToBeMixed[kBlockSamples] = {};  // the finished block
    // Two mixers give the same output. The fast one (the player's) mixes
    // each voice's tick straight into one running sum, in voice order, and
    // skips silent voices. The plain one, the reference that tests and
    // moddeck-bench --compare hold the fast one to, renders every voice
    // frame by frame into its own buffer and sums the buffers at the end of
    // the block through the clamp table.
    bool fastMix = true;
    MixerIsa isa;                            // the fast mixer's: the best the processor has
    // Fast mixer: the running sum, interleaved stereo; frames from mixedTo
    // on are zero. Null only when out of memory.
    int16_t* mixed = nullptr;
    int32_t mixedTo = 0;
    // Fast mixer, while the meters are wanted: the loudest value of each
    // voice in the block being mixed (0) and the blocks ahead of it.
    uint16_t peaksAhead[kMaxChannels][kPeakBlocks] = {};
    // Plain mixer: per-voice interleaved stereo; null only when out of memory.
    int16_t* ptrVoices[kMaxChannels] = {};
    int32_t silentFrom[kMaxChannels] = {};   // frames from here on are zero in the voice's buffer

    // ---- Output thread handshake: the shell writes EXITMIXER and
    // PLAYER_ON, the thread writes TERMINATED.
    std::atomic<uint8_t> EXITMIXER{0};
    std::atomic<uint8_t> PLAYER_ON{0};   // 1 between StartModule and StopModule
    std::atomic<int32_t> TERMINATED{0};

    PlayerMeters meters;
};

// The player that the application and its output thread share.
Player& ProcessPlayer();

// The running speed, ticks per row (kept in the first voice).
inline int32_t& Speed(Player& p) { return p.Voices[0].rowticks; }

}  // namespace moddeck
