// Voice mixer: every voice renders one tick of its sample (resampled with
// linear interpolation, scaled by its gain and split by its panning), and
// after the last tick of a block the voices' sum, halved and clamped after
// every addition in voice order, goes into ActualBufferToBeMixed. The fast
// path adds each tick to one running sum as it renders; the plain path
// (Player::fastMix false) keeps a buffer per voice and sums them at the end.
#pragma once

#include <cstdint>

#include "engine/player.h"
#include "song/format.h"
#include "song/song.h"

namespace moddeck {

// The clamp table: entry i holds i - 65536 clamped to -32767..32767. A
// constant; the plain final mix adds through it.
constexpr int kSaturationSize = 131072;
constexpr int kSaturationOffset = 65536;
extern const int16_t* const Saturation;

// The sample that voice `v` plays, or null when the voice is silent for lack
// of period, instrument, sample or sample data. XM instruments beyond the
// song or 128, and sample numbers beyond the instrument's, count as missing.
const ModSample* VoiceSample(const Mod& song, FileFormat kind, const Voice& v);

// Splits one gained value s between the two elements of a frame: the first
// gets (int16)(int)(s * p), the second the rest.
inline void PanFrame(int32_t s, float p, int16_t* frame) {
    int16_t left = static_cast<int16_t>(static_cast<int32_t>(static_cast<float>(s) * p));
    frame[0] = left;
    frame[1] = static_cast<int16_t>(s - left);
}

// Renders one tick of voice c: LEN_TICK frames at frame `base`, from
// `heardPeriod` (the period of this tick, with vibrato or arpeggio) and the
// tremolo offset; fast path: halved and added with clamping into p.mixed
// (with the meter peaks while p.meters.wanted), plain path: into
// ptrVoices[c]. Advances the voice's position and sets its period to 0 when
// a one-shot sample ends. A silent voice (no sample, a period <= 0, or a
// tick before its note delay) adds nothing (plain: writes zeros) and keeps
// its position.
void RenderVoiceTick(Player& p, const Mod& song, FileFormat kind, int c, int32_t heardPeriod, int32_t tremolo);

// The end of a block: its frames 0..4409 into ActualBufferToBeMixed, then
// base -= 4410 and what the ticks rendered past the block (the tail of the
// last tick) moves to the front. Fast path: the running sum as it stands.
// Plain path: the buffers of all 32 voices (those the song lacks hold
// silence), each sample halved and added through Saturation in voice order.
void MixVoiceBuffers(Player& p);

// Makes the running sum, every voice buffer and the meter peaks silent for
// a new song. Only the frames that may hold sound are cleared.
void ClearVoiceBuffers(Player& p);

// Whether the fast mixer can use `isa` on this processor, and the fastest
// it can.
bool MixerIsaAvailable(MixerIsa isa);
MixerIsa BestMixerIsa();

}  // namespace moddeck
