// The periods a note plays at, and the units the song's slides move them by.
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

// Period limits of the slides.
constexpr int32_t kModMinPeriod = 58, kModMaxPeriod = 14919;
constexpr int32_t kS3MMinPeriod = 116, kS3MMaxPeriod = 59676;
constexpr int32_t kXMMinPeriod = 239, kXMMaxPeriod = 57976;
constexpr int32_t kXMLinearMinPeriod = 1, kXMLinearMaxPeriod = 7808;
// IT slides from above its highest note to two octaves below its lowest:
// linear periods, or periods of the S3M kind at the lowest C-5 rates.
constexpr int32_t kITMinPeriod = 1, kITLinearMaxPeriod = 7680 + 2 * 768, kITMaxPeriod = 1 << 22;

// How a song's periods move: their limits and the step of one unit of
// slide. XM Amiga periods are four times finer than MOD ones (they step by
// 8), S3M ones twice (by 4, an extra-fine unit being 1); XM linear periods
// step by 4, 64 to the semitone. IT slides as XM's linear periods when the
// song asks for linear slides, else as S3M's.
struct PeriodScale {
    int32_t min, max, unit;
};

inline PeriodScale ScaleOf(const Mod& song) {
    switch (song.behaviour.periods) {
        case PeriodSystem::XM:
            return song.linearFreq ? PeriodScale{kXMLinearMinPeriod, kXMLinearMaxPeriod, 4}
                                   : PeriodScale{kXMMinPeriod, kXMMaxPeriod, 8};
        case PeriodSystem::S3M: return PeriodScale{kS3MMinPeriod, kS3MMaxPeriod, 4};
        case PeriodSystem::IT:
            return PeriodScale{kITMinPeriod, song.linearFreq ? kITLinearMaxPeriod : kITMaxPeriod, 4};
        case PeriodSystem::Amiga: break;
    }
    return PeriodScale{kModMinPeriod, kModMaxPeriod, 2};
}

// True when the song's periods are linear: 64 to the semitone, the pitch
// rising as they fall (XM and IT songs that ask for it).
inline bool LinearPeriods(const Mod& song) {
    return song.linearFreq && (song.behaviour.periods == PeriodSystem::XM || song.behaviour.periods == PeriodSystem::IT);
}

// The period `semitones` (0..15) above `period`: linear periods fall by 64
// a semitone, the others are divided by the twelfth root of two as often.
inline int32_t PeriodSemitonesUp(const Mod& song, int32_t period, int32_t semitones) {
    // 65536 / 2^(k/12).
    static constexpr int32_t kSemitoneDown[16] = {65536, 61858, 58386, 55109, 52016, 49097, 46341, 43740,
                                                  41285, 38968, 36781, 34716, 32768, 30929, 29193, 27554};
    const int32_t k = semitones & 15;
    if (LinearPeriods(song)) return period - 64 * k;
    return static_cast<int32_t>((int64_t{period} * kSemitoneDown[k]) >> 16);
}

}  // namespace moddeck
