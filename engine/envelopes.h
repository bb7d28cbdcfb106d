// XM instruments over time: the volume and panning envelopes, the fade-out
// after a key off, and the instrument's own vibrato. Once per tick a
// sounding XM voice moves them on; the mixer reads their values.
#pragma once

#include <cstdint>

#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// Every tick, before the row's note: each envelope that is on moves one
// tick on (a sustain point holds it until the key is released; a loop
// sends it back to the loop's start), and after a key off the fade-out
// takes one step.
void AdvanceEnvelopes(Voice& v, const ModInstrument& ins);

// Volume envelope value at position `pos`, 0..64; 64 when the envelope is
// off. Before its first point an envelope holds the first value, after its
// last point the last value.
float VolumeEnvelopeValue(const ModInstrument& ins, int32_t pos);

// Final panning of an XM voice, as the share sent to the left (0..1): the
// channel's panning (0 left .. 255 right) moved by the panning envelope
// when it is on, bent towards the sides by PanCurve.
float PanningOfVoice(const ModInstrument& ins, int32_t panning, int32_t pos);

// The panning curve: p = 0.5 +/- 0.5 * sqrt(|2q - 1|), q taken within 0..1.
float PanCurve(float q);

// The instrument vibrato's period offset for this tick (0 without one); its
// waveform position moves on and its depth grows over the sweep's ticks.
int32_t AutoVibratoOffset(Voice& v, const Mod& song);

}  // namespace moddeck
