// What the screen shows of a playing module, published by the renderer into
// the player's meters (see PlayerMeters in engine/player.h).
#pragma once

#include "engine/player.h"

namespace moddeck {

// Called by the renderer once per block, just before its final mix, while
// p.meters.wanted is set: the peak of each channel below NVoices over the
// block (fast mixer: kept while rendering; plain mixer: frames 0..4409 of
// its voice buffer), and `raw`. Allocates nothing and locks nothing.
void PublishMeters(Player& p);

// Zeroes every figure (not `wanted`). Called when a module starts or stops,
// while no output thread renders it.
void ResetMeters(PlayerMeters& m);

}  // namespace moddeck
