#include "engine/mixer_runs.h"

#include <algorithm>
#include <cstring>

#include "engine/mixer_taps.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define MODDECK_HAVE_VECTOR_KERNELS 1
#endif

namespace moddeck {

namespace {

// The running sum stays within -32767..32767 (the plain path's clamp
// table), so a voice adds its halved value and is clamped there.
inline void AddHalved(int16_t& sum, int16_t value) {
    sum = static_cast<int16_t>(std::clamp(sum + (value >> 1), -32767, 32767));
}

inline void Count(MixPeak* peak, int16_t value) {
    peak->high = std::max(peak->high, value);
    peak->low = std::min(peak->low, value);
}

template <bool kBackward>
void MixRunScalar(const MixRun& r) {
    int64_t pos = r.position;
    for (int32_t f = 0; f < r.frames; f++, pos += r.step) {
        const int32_t i = FrameOf(pos);
        const int32_t a = kBackward ? r.data[r.mirror - i] : r.data[i];
        const int32_t b = kBackward ? r.data[r.mirror - i - 1] : r.data[i + 1];
        const int32_t fraction = FractionOf(pos) & r.fractionMask;
        if (!r.filter) {
            MixFrame(a, b, fraction, r.gain, r.pan, r.sum + 2 * f, r.peak);
            continue;
        }
        int16_t frame[2];
        EmitValue(FilteredValue(*r.filter, *r.history, LinearValue(a, b, fraction), r.gain), 1.0f, r.pan, frame);
        AddFrame(frame, r.sum + 2 * f, r.peak);
    }
}

void MixTapRunScalar(const TapRun& r) {
    const int16_t* base = r.data - TapsBefore(r.taps);
    int64_t pos = r.position;
    for (int32_t f = 0; f < r.frames; f++, pos += r.step) {
        const int32_t fraction = FractionOf(pos);
        int16_t frame[2];
        EmitValue(TapValue(r.taps, base + FrameOf(pos), TapWeights(r.taps, fraction)), r.gain, r.pan, frame);
        AddFrame(frame, r.sum + 2 * f, r.peak);
    }
}

#ifdef MODDECK_HAVE_VECTOR_KERNELS

// What a run's vectors share, kept in registers.
struct VectorRun {
    const int16_t* data;
    int32_t length;
    int32_t mirror;
    int64_t step;
    int32_t last;  // the run's last frame: lanes past the run read it and add nothing
};

// Frame k from `pos` as one 32-bit word: data[i] in the low half and
// data[i + 1] in the high one, or backward data[mirror - i - 1] low and
// data[mirror - i] high.
template <bool kBackward>
inline int32_t PairAt(const VectorRun& r, int64_t pos, int k) {
    const int32_t i = std::min(FrameOf(pos + k * r.step), r.last);
    int32_t pair;
    std::memcpy(&pair, r.data + (kBackward ? r.mirror - i - 1 : i), sizeof pair);
    return pair;
}

// The highest and lowest values a kernel kept lane by lane, into `peak`.
inline void CountAll(MixPeak* peak, const int16_t* highs, const int16_t* lows, int lanes) {
    for (int k = 0; k < lanes; k++) Count(peak, highs[k]), Count(peak, lows[k]);
}

// The peaks four-frame groups have kept, lane by lane.
struct FourFramesOut {
    __m128i high = _mm_setzero_si128(), low = _mm_setzero_si128();
    void Count(MixPeak* peak) const {
        int16_t highs[8], lows[8];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(highs), high);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lows), low);
        CountAll(peak, highs, lows, 8);
    }
};

// Four frames from their gained values: each truncated, panned as
// PanFrame does (every rounding kept), halved and added to the sum at `at`
// with the clamp. Lanes from `left` on (the last vector of a run may reach
// past it) add nothing.
template <bool kPeak>
__attribute__((always_inline)) inline void AddFourFrames(__m128 gained, __m128 pan, int32_t left, int16_t* at,
                                                         FourFramesOut& out) {
    const __m128i value = _mm_cvttps_epi32(gained);
    const __m128i left32 = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(value), pan));
    const __m128i first = _mm_srai_epi32(_mm_slli_epi32(left32, 16), 16);  // (int16) of it
    const __m128i second = _mm_sub_epi32(value, first);
    __m128i both = _mm_or_si128(_mm_and_si128(first, _mm_set1_epi32(0xFFFF)), _mm_slli_epi32(second, 16));
    if (left < 4) both = _mm_and_si128(both, _mm_cmpgt_epi32(_mm_set1_epi32(left), _mm_setr_epi32(0, 1, 2, 3)));
    if (kPeak) {
        out.high = _mm_max_epi16(out.high, both);
        out.low = _mm_min_epi16(out.low, both);
    }
    __m128i* sum = reinterpret_cast<__m128i*>(at);
    const __m128i added = _mm_adds_epi16(_mm_loadu_si128(sum), _mm_srai_epi16(both, 1));
    _mm_storeu_si128(sum, _mm_max_epi16(added, _mm_set1_epi16(-32767)));
}

// Four frames at a time with SSE2, which every x86-64 processor has: each
// frame's two values fetched as one 32-bit word, then the float arithmetic
// of EmitFrame and PanFrame lane by lane (every rounding kept), halved and
// added to the sum with the clamp. The last vector of a run may reach past
// it: its extra lanes read the run's last frame and add nothing.
template <bool kBackward, bool kPeak>
void MixRunSse2(const MixRun& run) {
    constexpr int kLanes = 4;
    static_assert(kLanes <= kMixPadFrames, "a run's last vector may touch frames past its end");
    const int64_t step = run.step;
    const int32_t frames = run.frames;
    int16_t* const sum = run.sum;
    const VectorRun r{run.data, run.length, run.mirror, step, FrameOf(run.position + (frames - 1) * step)};
    // The low 32 bits of pos + k * step, which hold the fraction, depend
    // only on the low bits of both.
    __m128i fraction = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(run.position)),
                                     _mm_setr_epi32(0, static_cast<int32_t>(step), static_cast<int32_t>(2 * step),
                                                    static_cast<int32_t>(3 * step)));
    const __m128i fractionStep = _mm_set1_epi32(static_cast<int32_t>(kLanes * step));
    const __m128i mask = _mm_set1_epi32(run.fractionMask);
    const __m128 gain = _mm_set1_ps(run.gain), pan = _mm_set1_ps(run.pan), unit = _mm_set1_ps(kFractionUnit);
    FourFramesOut out;
    int64_t pos = run.position;
    for (int32_t f = 0; f < frames; f += kLanes, pos += kLanes * step) {
        const __m128i pairs = _mm_setr_epi32(PairAt<kBackward>(r, pos, 0), PairAt<kBackward>(r, pos, 1),
                                             PairAt<kBackward>(r, pos, 2), PairAt<kBackward>(r, pos, 3));
        const __m128i lowHalf = _mm_srai_epi32(_mm_slli_epi32(pairs, 16), 16);
        const __m128i highHalf = _mm_srai_epi32(pairs, 16);
        const __m128 a = _mm_cvtepi32_ps(kBackward ? highHalf : lowHalf);
        const __m128 b = _mm_cvtepi32_ps(kBackward ? lowHalf : highHalf);
        const __m128 weight = _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(fraction, 8), mask)), unit);
        fraction = _mm_add_epi32(fraction, fractionStep);
        AddFourFrames<kPeak>(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), weight), a), gain), pan,
                             frames - f, sum + 2 * f, out);
    }
    if (kPeak) out.Count(run.peak);
}

// The pairs (data[i], data[i + 1]) of eight frames, or (data[mirror - i -
// 1], data[mirror - i]) backward, as 32-bit words. Frames close together (a
// step below about 1.9) lie within 16 values: two loads and a permutation;
// others are fetched one by one.
template <bool kBackward>
__attribute__((target("avx2"))) inline __m256i FetchPairs(const VectorRun& r, int64_t pos, __m256i frame) {
    const int32_t first = FrameOf(pos), final = std::min(FrameOf(pos + 7 * r.step), r.last);
    const int32_t base = kBackward ? r.mirror - 1 - final : first;
    if (final - first <= 14 && base + 16 < r.length) {
        const __m256i offset = kBackward ? _mm256_sub_epi32(_mm256_set1_epi32(final), frame)
                                         : _mm256_sub_epi32(frame, _mm256_set1_epi32(first));
        // Words at even offsets from base, and at odd ones.
        const __m256i even = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.data + base));
        const __m256i odd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.data + base + 1));
        const __m256i word = _mm256_srli_epi32(offset, 1);
        return _mm256_castps_si256(_mm256_blendv_ps(_mm256_castsi256_ps(_mm256_permutevar8x32_epi32(even, word)),
                                                    _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(odd, word)),
                                                    _mm256_castsi256_ps(_mm256_slli_epi32(offset, 31))));
    }
    return _mm256_setr_epi32(PairAt<kBackward>(r, pos, 0), PairAt<kBackward>(r, pos, 1), PairAt<kBackward>(r, pos, 2),
                             PairAt<kBackward>(r, pos, 3), PairAt<kBackward>(r, pos, 4), PairAt<kBackward>(r, pos, 5),
                             PairAt<kBackward>(r, pos, 6), PairAt<kBackward>(r, pos, 7));
}

// The peaks eight-frame groups have kept, lane by lane (zero at first).
struct EightFramesOut {
    __m256i high, low;
    __attribute__((target("avx2"))) void Count(MixPeak* peak) const {
        int16_t highs[16], lows[16];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(highs), high);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lows), low);
        CountAll(peak, highs, lows, 16);
    }
};

// AddFourFrames for eight frames.
template <bool kPeak>
__attribute__((target("avx2"), always_inline)) inline void AddEightFrames(__m256 gained, __m256 pan, int32_t left,
                                                                         int16_t* at, EightFramesOut& out) {
    const __m256i value = _mm256_cvttps_epi32(gained);
    const __m256i left32 = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(value), pan));
    const __m256i first = _mm256_srai_epi32(_mm256_slli_epi32(left32, 16), 16);  // (int16) of it
    const __m256i second = _mm256_sub_epi32(value, first);
    __m256i both = _mm256_blend_epi16(first, _mm256_slli_epi32(second, 16), 0xAA);
    if (left < 8)
        both = _mm256_and_si256(both,
                                _mm256_cmpgt_epi32(_mm256_set1_epi32(left), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    if (kPeak) {
        out.high = _mm256_max_epi16(out.high, both);
        out.low = _mm256_min_epi16(out.low, both);
    }
    __m256i* sum = reinterpret_cast<__m256i*>(at);
    const __m256i added = _mm256_adds_epi16(_mm256_loadu_si256(sum), _mm256_srai_epi16(both, 1));
    _mm256_storeu_si256(sum, _mm256_max_epi16(added, _mm256_set1_epi16(-32767)));
}

// Eight frames at a time, as MixRunSse2 does four, the positions in 64-bit
// lanes (no fused multiply-add either: the target adds AVX2 alone).
template <bool kBackward, bool kPeak>
__attribute__((target("avx2"))) void MixRunAvx2(const MixRun& run) {
    constexpr int kLanes = 8;
    static_assert(kLanes <= kMixPadFrames, "a run's last vector may touch frames past its end");
    const int64_t step = run.step;
    const int32_t frames = run.frames;
    int16_t* const sum = run.sum;
    const VectorRun r{run.data, run.length, run.mirror, step, FrameOf(run.position + (frames - 1) * step)};
    // Lanes ordered so that the high (low) halves of two vectors, taken with
    // one shuffle, are frames 0..7 in order.
    const __m256i start = _mm256_set1_epi64x(run.position);
    __m256i posA = _mm256_add_epi64(start, _mm256_set_epi64x(5 * step, 4 * step, step, 0));
    __m256i posB = _mm256_add_epi64(start, _mm256_set_epi64x(7 * step, 6 * step, 3 * step, 2 * step));
    const __m256i step8 = _mm256_set1_epi64x(8 * step);
    const __m256i lastFrame = _mm256_set1_epi32(r.last);
    const __m256i mask = _mm256_set1_epi32(run.fractionMask);
    const __m256 gain = _mm256_set1_ps(run.gain), pan = _mm256_set1_ps(run.pan), unit = _mm256_set1_ps(kFractionUnit);
    EightFramesOut out{_mm256_setzero_si256(), _mm256_setzero_si256()};
    int64_t pos = run.position;
    for (int32_t f = 0; f < frames; f += kLanes, pos += kLanes * step) {
        const __m256 a64 = _mm256_castsi256_ps(posA), b64 = _mm256_castsi256_ps(posB);
        const __m256i frame = _mm256_min_epi32(_mm256_castps_si256(_mm256_shuffle_ps(a64, b64, 0xDD)), lastFrame);
        const __m256i fraction =
            _mm256_and_si256(_mm256_srli_epi32(_mm256_castps_si256(_mm256_shuffle_ps(a64, b64, 0x88)), 8), mask);
        posA = _mm256_add_epi64(posA, step8);
        posB = _mm256_add_epi64(posB, step8);
        const __m256i pairs = FetchPairs<kBackward>(r, pos, frame);
        const __m256i lowHalf = _mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16);
        const __m256i highHalf = _mm256_srai_epi32(pairs, 16);
        const __m256 a = _mm256_cvtepi32_ps(kBackward ? highHalf : lowHalf);
        const __m256 b = _mm256_cvtepi32_ps(kBackward ? lowHalf : highHalf);
        const __m256 weight = _mm256_mul_ps(_mm256_cvtepi32_ps(fraction), unit);
        AddEightFrames<kPeak>(_mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(b, a), weight), a), gain), pan,
                              frames - f, sum + 2 * f, out);
    }
    if (kPeak) out.Count(run.peak);
}

// One frame's tap products, taps j and j + 4 added (TapValue's first
// sums), from its values at `at` and weights at `w`.
template <int kTaps>
__attribute__((always_inline)) inline __m128 TapSumsSse2(const int16_t* at, const float* w) {
    if (kTaps == 4) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
        return _mm_mul_ps(_mm_loadu_ps(w), _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)));
    }
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128 low = _mm_mul_ps(_mm_loadu_ps(w), _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)));
    const __m128 high = _mm_mul_ps(_mm_loadu_ps(w + 4), _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)));
    return _mm_add_ps(low, high);
}

// Four frames at a time: each frame's four sums of taps in a vector, the
// four vectors turned so that a vector holds one sum of every frame, then
// added in pairs as TapValue does. Lanes past the run read its last frame.
template <int kTaps, bool kPeak>
void MixTapRunSse2(const TapRun& run) {
    const int32_t last = FrameOf(run.position + (run.frames - 1) * run.step);
    const int16_t* base = run.data - TapsBefore(kTaps);
    const __m128 gain = _mm_set1_ps(run.gain), pan = _mm_set1_ps(run.pan);
    FourFramesOut out;
    int64_t pos = run.position;
    for (int32_t f = 0; f < run.frames; f += 4) {
        __m128 row[4];
        for (int k = 0; k < 4; k++, pos += run.step)
            row[k] = TapSumsSse2<kTaps>(base + std::min(FrameOf(pos), last), TapWeights(kTaps, FractionOf(pos)));
        _MM_TRANSPOSE4_PS(row[0], row[1], row[2], row[3]);
        const __m128 value = _mm_add_ps(_mm_add_ps(row[0], row[1]), _mm_add_ps(row[2], row[3]));
        AddFourFrames<kPeak>(_mm_mul_ps(value, gain), pan, run.frames - f, run.sum + 2 * f, out);
    }
    if (kPeak) out.Count(run.peak);
}

// A sinc frame's eight products of values and weights.
__attribute__((target("avx2"), always_inline)) inline __m256 SincProducts(const int16_t* at, const float* w) {
    const __m256i v = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
    return _mm256_mul_ps(_mm256_loadu_ps(w), _mm256_cvtepi32_ps(v));
}

// The four sums of taps of two frames, the first's in the low half.
template <int kTaps>
__attribute__((target("avx2"), always_inline)) inline __m256 TapSumsOfTwo(const int16_t* a, const float* wa,
                                                                         const int16_t* b, const float* wb) {
    if (kTaps == 4) return _mm256_set_m128(TapSumsSse2<4>(b, wb), TapSumsSse2<4>(a, wa));
    const __m256 pa = SincProducts(a, wa), pb = SincProducts(b, wb);
    return _mm256_add_ps(_mm256_permute2f128_ps(pa, pb, 0x20), _mm256_permute2f128_ps(pa, pb, 0x31));
}

// Eight frames at a time, as MixTapRunSse2 does four: frames k and k + 4
// share a vector, each half turned as there.
template <int kTaps, bool kPeak>
__attribute__((target("avx2"))) void MixTapRunAvx2(const TapRun& run) {
    const int64_t step = run.step;
    const int32_t last = FrameOf(run.position + (run.frames - 1) * step);
    const int16_t* base = run.data - TapsBefore(kTaps);
    const __m256 gain = _mm256_set1_ps(run.gain), pan = _mm256_set1_ps(run.pan);
    EightFramesOut out{_mm256_setzero_si256(), _mm256_setzero_si256()};
    for (int32_t f = 0; f < run.frames; f += 8) {
        __m256 q[4];
        for (int k = 0; k < 4; k++) {
            const int64_t a = run.position + (f + k) * step, b = a + 4 * step;
            q[k] = TapSumsOfTwo<kTaps>(base + std::min(FrameOf(a), last), TapWeights(kTaps, FractionOf(a)),
                                       base + std::min(FrameOf(b), last), TapWeights(kTaps, FractionOf(b)));
        }
        const __m256 t0 = _mm256_unpacklo_ps(q[0], q[1]), t1 = _mm256_unpackhi_ps(q[0], q[1]);
        const __m256 t2 = _mm256_unpacklo_ps(q[2], q[3]), t3 = _mm256_unpackhi_ps(q[2], q[3]);
        // Tap sums 0, 1, 2 and 3 of every frame, added in TapValue's pairs.
        const __m256 s0 = _mm256_shuffle_ps(t0, t2, 0x44), s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
        const __m256 s2 = _mm256_shuffle_ps(t1, t3, 0x44), s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
        const __m256 value = _mm256_add_ps(_mm256_add_ps(s0, s1), _mm256_add_ps(s2, s3));
        AddEightFrames<kPeak>(_mm256_mul_ps(value, gain), pan, run.frames - f, run.sum + 2 * f, out);
    }
    if (kPeak) out.Count(run.peak);
}

template <bool kPeak>
void MixTapRunVectors(MixerIsa isa, const TapRun& run) {
    if (isa == MixerIsa::Avx2)
        run.taps == 8 ? MixTapRunAvx2<8, kPeak>(run) : MixTapRunAvx2<4, kPeak>(run);
    else
        run.taps == 8 ? MixTapRunSse2<8, kPeak>(run) : MixTapRunSse2<4, kPeak>(run);
}

#endif

}  // namespace

void AddFrame(const int16_t* frame, int16_t* sum, MixPeak* peak) {
    AddHalved(sum[0], frame[0]);
    AddHalved(sum[1], frame[1]);
    if (peak) Count(peak, frame[0]), Count(peak, frame[1]);
}

void MixFrame(int32_t a, int32_t b, int32_t fraction, float gain, float pan, int16_t* sum, MixPeak* peak) {
    int16_t frame[2];
    EmitFrame(a, b, fraction, gain, pan, frame);
    AddFrame(frame, sum, peak);
}

void MixTapRunFrames(MixerIsa isa, const TapRun& run) {
    if (run.frames <= 0) return;
#ifdef MODDECK_HAVE_VECTOR_KERNELS
    if (isa != MixerIsa::Scalar) {
        run.peak ? MixTapRunVectors<true>(isa, run) : MixTapRunVectors<false>(isa, run);
        return;
    }
#endif
    MixTapRunScalar(run);
}

void MixRunFrames(MixerIsa isa, const MixRun& run) {
    if (run.frames <= 0) return;
    const bool backward = run.mirror != 0, peak = run.peak != nullptr;
#ifdef MODDECK_HAVE_VECTOR_KERNELS
    // A filter's each output feeds the next: no lanes side by side.
    if (isa == MixerIsa::Avx2 && !run.filter) {
        peak ? backward ? MixRunAvx2<true, true>(run) : MixRunAvx2<false, true>(run)
             : backward ? MixRunAvx2<true, false>(run) : MixRunAvx2<false, false>(run);
        return;
    }
    if (isa == MixerIsa::Sse2 && !run.filter) {
        peak ? backward ? MixRunSse2<true, true>(run) : MixRunSse2<false, true>(run)
             : backward ? MixRunSse2<true, false>(run) : MixRunSse2<false, false>(run);
        return;
    }
#endif
    backward ? MixRunScalar<true>(run) : MixRunScalar<false>(run);
}

bool MixerIsaAvailable(MixerIsa isa) {
    if (isa == MixerIsa::Scalar) return true;
#ifdef MODDECK_HAVE_VECTOR_KERNELS
    // Asked once, whichever thread makes the first player.
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return isa == MixerIsa::Sse2 || avx2;
#else
    return false;
#endif
}

MixerIsa BestMixerIsa() {
    for (MixerIsa isa : {MixerIsa::Avx2, MixerIsa::Sse2})
        if (MixerIsaAvailable(isa)) return isa;
    return MixerIsa::Scalar;
}

}  // namespace moddeck
