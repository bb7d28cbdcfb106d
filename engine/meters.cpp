#include "engine/meters.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace moddeck {

namespace {

// The loudest sample of a block, 0..32767, from its highest and lowest
// values: this runs for every channel of every block a screen watches.
int PeakOf(const int16_t* samples) {
    int16_t hi = 0, lo = 0;
    int i = 0;
#if defined(__SSE2__)
    __m128i vhi = _mm_setzero_si128(), vlo = _mm_setzero_si128();
    for (; i + 8 <= kBlockSamples; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i));
        vhi = _mm_max_epi16(vhi, v);
        vlo = _mm_min_epi16(vlo, v);
    }
    alignas(16) int16_t his[8], los[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(his), vhi);
    _mm_store_si128(reinterpret_cast<__m128i*>(los), vlo);
    for (int k = 0; k < 8; k++) {
        hi = std::max(hi, his[k]);
        lo = std::min(lo, los[k]);
    }
#endif
    for (; i < kBlockSamples; i++) {
        hi = std::max(hi, samples[i]);
        lo = std::min(lo, samples[i]);
    }
    // -32768 has no positive twin in the range the meters use.
    return std::min(std::max<int>(hi, -lo), 32767);
}

}  // namespace

void PublishMeters(Player& p) {
    PlayerMeters& m = p.meters;
    if (!m.wanted.load(std::memory_order_relaxed)) return;
    int channels = std::clamp<int32_t>(p.NVoices, 0, kMaxChannels);
    for (int c = 0; c < kMaxChannels; c++) {
        int peak = 0;
        const int16_t* frames = p.ptrVoices[c];
        if (c < channels && p.fastMix) peak = p.peaksAhead[c][0];
        else if (c < channels && frames) peak = PeakOf(frames);
        m.peak[c].store(uint16_t(peak), std::memory_order_relaxed);
    }
    m.row.store(p.raw, std::memory_order_relaxed);
    m.blocks.fetch_add(1, std::memory_order_relaxed);
}

void ResetMeters(PlayerMeters& m) {
    for (auto& peak : m.peak) peak.store(0, std::memory_order_relaxed);
    m.row.store(0, std::memory_order_relaxed);
    m.blocks.store(0, std::memory_order_relaxed);
}

}  // namespace moddeck
