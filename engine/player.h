// The replay: everything that playing one song changes, kept apart from the
// song itself, which stays read-only (any number of players may play one
// song). It holds the position, the tick timing, what playback does to the
// song's own settings (global volume, finetunes set by an effect), the
// voices with their effect memories, what each voice mixes during the
// current tick, and the figures other threads read.
//
// Names kept from the engine's first design:
//   raw                the row being played within its pattern
//   raw_jump           the row a pattern loop goes back to
//   ticks              the tick within the row
//   patterndelay       the extra plays of the row a pattern delay asks for
//   new_song           set once the song has come to its end
//   LEN_TICK           output frames per tick
//   frequencegenerale  ticks per second ("general frequency")
//   NVoices            the song's channels, each played by one voice
//   Voices, rowticks   the voices; the first one's rowticks is the speed
//   SONG               the song played (read-only)
// `order` is the entry of the order table being played: an order index,
// which names a pattern through the song's order table.
//
// Threads: one thread renders a player, and alone touches its plain
// fields. The fields other threads use are atomics, each marked with who
// writes it.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/filter.h"
#include "song/song.h"

namespace moddeck {

struct SongMap;

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;
// The rate the song's length is measured at, and the player's own.
constexpr int kReferenceRate = 44100;
// The mixer renders at most this many frames of all voices at a time; a
// longer tick is mixed in turns, the voices picking up where they left.
constexpr int kMixChunkFrames = 1024;
// The fast mixer's running sum has room for the frames its last vector of
// a run touches past the run's end (adding nothing there).
constexpr int kMixPadFrames = 8;
// IT's new-note actions let notes go on beside the channels: background
// voices, held after the channels' own in Player::Voices.
constexpr int kBackgroundVoices = 256;
constexpr int kMaxVoices = kMaxChannels + kBackgroundVoices;
// Room for the frames a cubic or sinc voice hears in one stretch around a
// loop's ends: 64 frames and their 8 taps.
constexpr int kHeardFrames = 64 + 8;

// The instructions the fast mixer's runs use (engine/mixer_runs.h), whether
// this processor has them, and the fastest it has.
enum class MixerIsa : uint8_t { Scalar, Sse2, Avx2 };
bool MixerIsaAvailable(MixerIsa isa);
MixerIsa BestMixerIsa();

// One channel's playing note, sample position and effect memories.
struct Voice {
    int32_t period;  // 0 = silent
    int32_t tremolodepth;
    int32_t tremolospeed;
    int32_t instrument;  // MOD/S3M sample slot, XM instrument 1..128; 0 = none
    int64_t position;    // sample frame in 32.32 fixed point; the fraction weights the interpolation
    int32_t rowticks;    // ticks per row: only Voices[0] is used (the song speed)
    int32_t volume;      // 0..63 (IT 0..64)
    int32_t cuttick;     // -1 = none
    int32_t note;
    int32_t finetune;    // MOD/S3M: period-table row; XM: sample finetune
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
    int32_t portaspeed;
    int32_t portatarget;
    int32_t fadevolume;  // XM fade-out level, 65536 = full
    int32_t fadestep;
    int32_t samplenum;   // XM: sample of the instrument
    int32_t volenvpos;   // XM envelope positions, in ticks
    int32_t panenvpos;

    int32_t lastnote;        // XM: the last note column entry played, key off included; 0 = none
    int32_t lastinstrument;  // MOD/S3M: the instrument the channel's next note plays
    int32_t loopstart;       // row a pattern loop of this channel returns to
    int32_t loopcount;       // repeats left of that loop, 0 when not looping
    int32_t offset;          // last sample offset asked for, in frames
    int32_t panning;         // XM: 0 (left) .. 255 (right)
    uint8_t keyoff;          // XM: key released: sustain let go, fade-out running
    int32_t autovibpos;      // XM instrument vibrato: waveform position 0..255
    int32_t autovibticks;    // ticks since the note, for the vibrato's sweep
    int32_t retrigcount;     // ticks since the last retrigger
    int32_t tremorcount;     // ticks left of the tremor's phase, after this one
    int32_t tremorphase;     // TremorPhase (engine/effects.h)
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
    // IT's resonant low-pass filter: the channel's cutoff and resonance
    // (0..127; 127 and 0 at a song's start, where a voice plays unfiltered),
    // and the filter envelope's value on this tick (-32..32; left at 0
    // without one). Where the instrument's pitch envelope is a filter
    // envelope it scales the cutoff by (value + 32) / 64, as IT does: its
    // middle line halves it.
    int32_t cutoff;
    int32_t resonance;
    int32_t filterEnvelope;
    FilterHistory filterHistory;
    bool noteRestartsFilter;  // a note has started since the voice's last tick was set: the filter starts afresh
    int32_t macro;  // the parametered macro Zxx runs (SFx): 0 sets the cutoff
    // IT: the channel's volume (0..64, from the song's at its start), the
    // waveforms of the vibrato, tremolo and panbrello (0 sine, 1 ramp down,
    // 2 square, 3 random), the panbrello's position (0..255, a quarter step
    // of the others'), speed and depth, and the panning offset it leaves
    // until the next note or panning (in 256ths of the width); the sample
    // offsets' high part (SAx); the noise of the random waveform.
    int32_t channelVolume;
    int32_t vibwave;
    int32_t tremwave;
    int32_t panbrellowave;
    int32_t panbrellopos;
    int32_t panbrellospeed;
    int32_t panbrellodepth;
    int32_t panbrello;
    int32_t highoffset;
    uint32_t noise;
    // IT's own effect memories.
    int32_t chanvolslidemem;  // N
    int32_t globalslidemem;   // W
    int32_t tempomem;         // T0x, T1x
    int32_t arpmem;           // J
    // IT instruments (engine/it_voices.h): the pitch envelope's position; the
    // channel a background voice sounds for; whether the note fades (after a
    // key off, a fade command or a new-note action); the note's level from
    // the sample's and the instrument's global volumes (0..1); its new-note
    // action (NewNoteAction, S7x may change it); the envelopes S7x turned off
    // or on (EnvelopeSwitch bits); when the note started, for dropping the
    // oldest background voice first.
    int32_t pitchenvpos;
    int32_t channel;
    uint8_t fading;
    float notelevel;
    uint8_t newnoteaction;
    uint8_t envelopesoff;
    uint8_t envelopeson;
    uint32_t startedAt;
};

enum class LoopMode : uint8_t { None, Forward, PingPong };

// How a voice reads between the frames of its sample: the frame itself
// (none), a straight line to the next (linear), a cubic through four
// frames, or a windowed sinc over eight.
enum class Interpolation : uint8_t { None, Linear, Cubic, Sinc };

// The listener's choices of sound, taken at the renderer's next tick.
// Written by any thread.
struct SoundChoices {
    std::atomic<Interpolation> interpolation{Interpolation::Linear};
    std::atomic<bool> ramping{false};        // short ramps at every change of gain or panning
    std::atomic<int32_t> separation{100};    // stereo width in percent, 0 (mono) .. 200
    std::atomic<bool> amiga{false};          // songs made for the Amiga at its clock and hard left-right-right-left
};

// A change of a voice's gain and panning spread over a few frames, so that
// it does not click. Frame k of the ramp's `length` hears `to` weighted by
// (k + 1) / length and `from` by the rest.
struct Ramp {
    float fromGain = 0, fromPan = 0.5f;
    float toGain = 0, toPan = 0.5f;
    int32_t left = 0;    // frames still ramping
    int32_t length = 1;
};

// The part of a sample a voice loops over, within the sample's data.
struct Loop {
    LoopMode mode;
    int32_t start;
    int32_t length;
};

// What one voice mixes through the current tick: its sample, loop, step,
// gain and panning are set when the tick is sequenced and hold until the
// next one. A null sample mixes nothing.
struct VoiceMix {
    const ModSample* sample;
    Loop loop;
    int64_t step;  // 32.32 sample frames per output frame
    float gain;
    float pan;     // share sent left
    bool framePastEnd;  // a one-shot sample sounds one zero past its end (Behaviour)
    Interpolation interpolation;
    FilterCoefficients filter;  // on: the voice mixes frame by frame through it
};

// With ramping, a note that stops or gives way to another is not cut: it
// fades out over a ramp from where it was, beside the voice.
struct VoiceTail {
    VoiceMix mix{};
    int64_t position = 0;
    Ramp ramp;
    FilterHistory filterHistory;
};

// The position other threads see, published by the renderer at the end of
// each render.
struct PublishedPosition {
    std::atomic<int32_t> order{0};
    std::atomic<int32_t> row{0};
    std::atomic<int64_t> frames{0};  // song time in frames of the player's rate
    std::atomic<bool> ended{false};
    std::atomic<int32_t> subsong{0};
};

struct Player {
    // A player of `song` at `rate` frames per second, before its start
    // (StartSubsong). The plain mixer's buffers come only when asked for.
    Player(const Mod& song, int32_t rate);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    const Mod& SONG;        // the song being played; read only
    const int32_t rate;     // output frames per second

    // ---- Position.
    int32_t order = 0;         // entry of the order table being played
    int32_t raw = 0;           // row within the pattern
    int32_t ticks = 0;         // tick within the row
    int32_t raw_jump = -1;     // row a pattern loop goes back to at the row's end; -1 none
    int32_t patterndelay = 0;  // remaining extra plays of the row
    int32_t extraTicks = 0;    // ticks the row lasts past the speed (IT's fine pattern delay)
    uint8_t new_song = 0;      // 1 once the song has come to its end
    const SongMap* map = nullptr;  // the song's subsongs and order times; null: not measured
    int32_t subsong = 0;           // the subsong playing and the order entry it starts at
    int32_t startOrder = 0;

    // ---- Timing.
    int32_t LEN_TICK = 882;           // output frames per tick
    float frequencegenerale = 50.0f;  // ticks per second
    int32_t tempo = 125;              // beats per minute, as last set
    int32_t NVoices = 4;              // channels of the song

    // ---- What playback changes of the song's own settings.
    int32_t globalVolume = 64;  // 64 = full
    int32_t globalVolumeSlide = 0;
    int32_t sampleFinetune[kSampleSlots] = {};  // MOD and S3M slots: the song's, until an effect sets one

    // ---- Voices and what they mix.
    // The channels' voices first, then the background voices (IT), which
    // sound while their period is not 0.
    Voice Voices[kMaxVoices] = {};
    float pan[kMaxChannels] = {};  // share of each channel sent left (MOD, S3M, IT)
    VoiceMix mix[kMaxVoices] = {};
    SoundChoices sound;                // the listener's choices
    Ramp ramps[kMaxVoices];            // the voices' gains and pannings as heard
    VoiceTail tails[kMaxVoices];       // notes fading out (ramping only)
    int64_t mixedTo[kMaxVoices] = {};  // each voice's position where mixing left it
    // IT: the notes started so far (a background voice's age), and the
    // random variation's generator, seeded at the song's start so that a
    // render repeats exactly.
    uint32_t notesStarted = 0;
    uint32_t randomState = 1;
    int32_t tickFramesLeft = 0;    // frames of the current tick not mixed yet

    // ---- The song clock: ticks and frames since the subsong's start, and
    // whether a player that does not loop has played it out.
    int64_t songTicks = 0;
    int64_t songFrames = 0;
    bool ended = false;

    // ---- Mixers. Both give the same output. The fast one (the default)
    // mixes each voice straight into one running sum, in voice order, and
    // skips silent voices. The plain one, the reference that the fast one
    // is held to, renders every voice frame by frame into a buffer of its
    // own and sums the buffers through the clamp table.
    bool fastMix = true;
    MixerIsa isa;  // the fast mixer's: the best the processor has
    // Fast mixer: interleaved stereo, zero between renders.
    int16_t mixed[2 * (kMixChunkFrames + kMixPadFrames)] = {};
    // The frames a cubic or sinc voice reads around a loop's ends or a
    // sample's, laid out in the order they are heard.
    int16_t heardFrames[kHeardFrames] = {};
    // Plain mixer: per-voice interleaved stereo; null until it is chosen.
    int16_t* ptrVoices[kMaxChannels] = {};
    // The loudest sample of each voice over the render under way.
    uint16_t peaks[kMaxChannels] = {};

    // ---- Shared with other threads.
    // Written by any thread: order entries to move by (the keys), taken at
    // the start of the next tick, so that no step is lost to the
    // renderer's own moves; and an order entry to jump to (-1: none).
    std::atomic<int32_t> orderSteps{0};
    std::atomic<int32_t> orderRequest{-1};
    std::atomic<bool> loop{true};                 // any thread
    std::atomic<float> channelGain[kMaxChannels]; // any thread; 1 = as written
    std::atomic<bool> levelsWanted{false};        // any thread: keep `levels`
    std::atomic<uint16_t> levels[kMaxChannels] = {};  // renderer: peaks of the last render
    PublishedPosition published;                  // renderer
};

// The running speed, ticks per row (kept in the first voice).
inline int32_t& Speed(Player& p) { return p.Voices[0].rowticks; }

// Tempo b in beats per minute: frequencegenerale = 0.4 b ticks per second,
// LEN_TICK = 2.5 s / b in whole frames of the player's rate (220500 / 2b at
// 44,100 Hz), at least one. A tempo of 0 or less is taken as 125 and one
// above 65535 as 65535.
void SetTempo(Player& p, int32_t bpm);

}  // namespace moddeck
