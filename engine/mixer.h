// Voice mixer: every voice renders one tick of its sample into its own
// buffer (resampled with linear interpolation, scaled by its gain and split
// by its panning), and after the last tick of a block the voice buffers are
// summed, halved and clamped, into ActualBufferToBeMixed.
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

// Renders one tick of voice c: LEN_TICK frames at frame `base` of
// ptrVoices[c], from `heardPeriod` (the period of this tick, with vibrato or
// arpeggio) and the tremolo offset. Advances the voice's position and sets
// its period to 0 when a one-shot sample ends. A silent voice (no sample, a
// period <= 0, or a tick before its note delay) writes zeros and keeps its
// position.
void RenderVoiceTick(Player& p, const Mod& song, FileFormat kind, int c, int32_t heardPeriod, int32_t tremolo);

// The final mix: frames 0..4409 of the buffers of voices 0..NVoices-1,
// each sample halved and added with clamping after every addition, into
// ActualBufferToBeMixed; then base -= 4410 and the tail of the last tick is
// moved to the front of each buffer.
void MixVoiceBuffers(Player& p);

// Makes every voice buffer silent for a new song. Only the frames that may
// hold sound are cleared: past silentFrom, a buffer is already zero.
void ClearVoiceBuffers(Player& p);

}  // namespace moddeck
