// The period a note plays at on a voice of a MOD or an S3M.
#pragma once

#include <cstdint>

#include "engine/player.h"
#include "song/periods.h"

namespace moddeck {

// MOD: the period table's entry at the voice's finetune row. S3M: the
// period the tracker works out from the middle-C rate of the voice's sample
// (8363 Hz when the voice names no sample).
inline int32_t ClassicNotePeriod(const Mod& song, const Voice& v, int32_t note) {
    if (song.behaviour.periods != PeriodSystem::S3M) return PeriodAt(Periods, v.finetune, note);
    const bool named = v.instrument > 0 && v.instrument < kSampleSlots;
    return S3MPeriod(note, named ? song.samples[v.instrument].c2spd : kS3MMiddleCRate);
}

}  // namespace moddeck
