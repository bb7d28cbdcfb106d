// Instruments over time: XM's volume and panning envelopes, the fade-out
// after a key off, and the instrument's own vibrato; IT's volume, panning
// and pitch (or filter) envelopes with their sustain loops, and its fade.
// Once per tick a sounding voice moves them on; the mixer reads their values.
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

// The envelopes of an IT note that S7x turned off or on (Voice::envelopesoff,
// Voice::envelopeson), whatever its instrument says.
enum EnvelopeSwitch : uint8_t {
    kVolumeEnvelopeSwitch = 1,
    kPanningEnvelopeSwitch = 2,
    kPitchEnvelopeSwitch = 4,
};

// IT, every tick of a sounding note, before the row's note: each envelope
// that is on moves one tick on, looping over its sustain loop while the key
// is down and over its loop after, and staying at its last point once past
// it. The volume envelope's end starts the fade (and ends the note where its
// last point is 0); a fading note's level falls by twice the fade-out.
void AdvanceITEnvelopes(Voice& v, const ModInstrument& ins);

// An IT voice's envelope values on this tick: volume 0..64 (64 when off),
// panning -32..32, and the pitch envelope's -32..32 as pitch (half
// semitones) or, for a filter envelope, as filter (0 when off).
struct ITEnvelopeValues {
    float volume = 64.0f;
    float panning = 0.0f;
    float pitch = 0.0f;
    float filter = 0.0f;
};
ITEnvelopeValues ITEnvelopesOf(const Voice& v, const ModInstrument& ins);

// Whether an IT voice's volume envelope is on (S7x included), and whether
// the instrument's loops.
bool ITVolumeEnvelopeOn(const Voice& v, const ModInstrument& ins);
bool ITVolumeEnvelopeLoops(const ModInstrument& ins);

// The panning curve: p = 0.5 +/- 0.5 * sqrt(|2q - 1|), q taken within 0..1.
float PanCurve(float q);

// The instrument vibrato's period offset for this tick (0 without one); its
// waveform position moves on and its depth grows over the sweep's ticks.
int32_t AutoVibratoOffset(Voice& v, const Mod& song);

}  // namespace moddeck
