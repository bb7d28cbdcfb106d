// Voice mixer: once per tick each voice is given what it mixes through the
// tick (its sample and loop, the resampling step, gain and panning); then
// the frames of the tick are mixed as the output asks for them, at most
// kMixChunkFrames at a time: every voice resampled with the interpolation
// the listener chose (linear by default), scaled by its gain and split by
// its panning (ramped to them, with ramping), halved and added with
// clamping in voice order. The fast path adds each voice to one running sum
// as it renders; the plain path (Player::fastMix false) keeps a buffer per
// voice and sums them through the clamp table. Both give the same samples
// with every choice of sound.
#pragma once

#include <cstdint>

#include "engine/mixer_runs.h"
#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// The clamp table: entry i holds i - 65536 clamped to -32767..32767. A
// constant; the plain mix adds through it.
constexpr int kSaturationSize = 131072;
constexpr int kSaturationOffset = 65536;
extern const int16_t* const Saturation;

// The sample that voice `v` plays, or null when the voice is silent for lack
// of period, instrument, sample or sample data. Instruments beyond the
// song or 128, and sample numbers beyond the instrument's, count as missing
// (a song without instruments names sample slots).
const ModSample* VoiceSample(const Mod& song, const Voice& v);

// Sets what voice c mixes through the tick about to play, from
// `heardPeriod` (the period of this tick, with vibrato or arpeggio) and the
// tremolo offset, the voice's volume, envelopes and panning, the global
// volume, the channel's gain and the choices of sound as they stand. A
// silent voice (no sample, a period <= 0, or a tick before its note delay)
// mixes nothing and keeps its position; with ramping, the note it played
// fades out.
void PrepareVoiceTick(Player& p, int c, int32_t heardPeriod, int32_t tremolo);

// Mixes the next `frames` frames (1..kMixChunkFrames) of the current tick
// of every voice into `out` (interleaved stereo) and moves the voices on; a
// one-shot sample that ends sets its voice's period to 0. Counts each
// voice's loudest value into p.peaks while p.levelsWanted is set.
void MixFrames(Player& p, int16_t* out, int32_t frames);

// Moves every voice on by `frames` frames of the current tick exactly as
// mixing them would, without mixing (a seek).
void SkipFrames(Player& p, int32_t frames);

// Chooses the plain mixer (with its buffers, allocated here; false when
// they cannot be had) or the fast one with `isa`.
bool UsePlainMixer(Player& p);
void UseFastMixer(Player& p, MixerIsa isa);

}  // namespace moddeck
