// XM instrument envelopes and fade-out: once per tick, the volume envelope
// value and the panning of a sounding XM voice; once per row, the fade.
#pragma once

#include <cstdint>

#include "engine/player.h"
#include "song/song.h"

namespace moddeck {

// Every tick: the envelope positions move one tick on.
void AdvanceEnvelopes(Voice& v);
// Tick 0 of every row, before the row's note: the fade-out takes one step.
void FadeAtRowStart(Voice& v);

// Volume envelope value e at position `pos`, 0..64 (64 when the envelope is
// off). Point indexes beyond 11 are taken as 11; a loop whose end lies at or
// before its start holds the loop start's value.
float VolumeEnvelopeValue(const ModInstrument& ins, int32_t pos);

// Final panning p of a voice, 0..1, the share sent to the first element:
// from the panning envelope at `pos` when it is on, else from the sample's
// panning, bent towards the sides by PanCurve.
float PanningOfVoice(const ModInstrument& ins, const ModSample& sample, int32_t pos);

// The panning curve: p = 0.5 +/- 0.5 * sqrt(|2q - 1|), q taken within 0..1.
float PanCurve(float q);

}  // namespace moddeck
