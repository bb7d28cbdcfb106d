// What the screen shows of a playing module, published by the renderer.
//
// The main thread must never read the renderer's own state (voices, buffers,
// row counters) while the module output thread writes it. Instead the
// renderer copies the few figures the screen needs into these atomics once
// per block, and the screen reads only them.
#pragma once

#include <atomic>
#include <cstdint>

#include "song/song.h"

namespace moddeck {

// Loudest sample of each channel's last block, 0..32767 (left or right).
extern std::atomic<uint16_t> meterPeak[kMaxChannels];
// Row being played at the end of the last block.
extern std::atomic<int32_t> meterRow;
// Blocks rendered since the module started (each is 100 ms of audio).
extern std::atomic<uint32_t> meterBlocks;

// Called by the renderer once per block, just before its final mix: reads
// frames 0..4409 of the voice buffers of channels below NVoices, and `raw`.
// Allocates nothing and locks nothing; skips missing buffers.
void PublishMeters();

// Zeroes every figure. Called when a module starts or stops, while no module
// output thread runs.
void ResetMeters();

}  // namespace moddeck
