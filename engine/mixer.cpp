#include "engine/mixer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/envelopes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace moddeck {

namespace {

constexpr std::array<int16_t, kSaturationSize> MakeSaturation() {
    std::array<int16_t, kSaturationSize> t{};
    for (int i = 0; i < kSaturationSize; i++)
        t[i] = static_cast<int16_t>(std::clamp(i - kSaturationOffset, -32767, 32767));
    return t;
}
// Built once at start-up (a constant expression this long exceeds some
// compilers' evaluation limits).
const std::array<int16_t, kSaturationSize> kSaturation = MakeSaturation();

enum class LoopMode { None, Forward, PingPong };

struct Loop {
    LoopMode mode;
    int32_t start;
    int32_t length;
};

// The loop the sample plays. A loop that reaches past the data is cut at the
// data's end; one that keeps nothing inside the data (start at or past the
// end, length 0 or less) plays as no loop. MOD and S3M take a length of 0
// or 2 as no loop.
Loop LoopOf(const ModSample& s, FileFormat kind) {
    LoopMode mode;
    if (kind == FileFormat::XM)
        mode = s.loopType == 1 ? LoopMode::Forward : s.loopType == 2 ? LoopMode::PingPong : LoopMode::None;
    else
        mode = (s.loopLength == 0 || s.loopLength == 2) ? LoopMode::None : LoopMode::Forward;
    Loop loop{mode, s.loopStart, s.loopLength};
    if (mode == LoopMode::None) return loop;
    if (loop.start < 0 || loop.length <= 0 || loop.start >= s.length) return Loop{LoopMode::None, 0, 0};
    if (loop.length > s.length - loop.start) loop.length = s.length - loop.start;
    return loop;
}

// Interpolates between a and b at fraction f, applies the gain and pans.
inline void EmitFrame(int32_t a, int32_t b, float f, float g, float p, int16_t* out) {
    int32_t s = static_cast<int32_t>(((static_cast<float>(b) - static_cast<float>(a)) * f + static_cast<float>(a)) * g);
    PanFrame(s, p, out);
}

// Frames are prepared in chunks (the two sample values of each frame and
// its position before any loop fold, whose fraction weights them) and then
// emitted together, several at a time, with the same arithmetic as
// EmitFrame.
constexpr int kChunk = 64;

struct Chunk {
    int32_t a[kChunk];
    int32_t b[kChunk];
    float pos[kChunk];
};

void EmitChunk(const Chunk& ch, int n, float g, float p, int16_t* out) {
    int i = 0;
#if defined(__SSE2__)
    const __m128 vg = _mm_set1_ps(g), vp = _mm_set1_ps(p);
    const __m128i low16 = _mm_set1_epi32(0xFFFF);
    for (; i + 4 <= n; i += 4) {
        __m128 a = _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ch.a + i)));
        __m128 b = _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ch.b + i)));
        __m128 pos = _mm_loadu_ps(ch.pos + i);
        __m128 f = _mm_sub_ps(pos, _mm_cvtepi32_ps(_mm_cvttps_epi32(pos)));
        __m128i s = _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), f), a), vg));
        __m128i left32 = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(s), vp));
        __m128i left = _mm_srai_epi32(_mm_slli_epi32(left32, 16), 16);  // (int16) of it
        __m128i right = _mm_sub_epi32(s, left);
        __m128i frames = _mm_or_si128(_mm_and_si128(left, low16), _mm_slli_epi32(right, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), frames);
    }
#endif
    for (; i < n; i++) {
        float pos = ch.pos[i];
        EmitFrame(ch.a[i], ch.b[i], pos - static_cast<float>(static_cast<int32_t>(pos)), g, p, out + 2 * i);
    }
}

// silentFrom is kept up to date by both paths; only the fast path uses it
// to skip work.
void WriteSilence(Player& pl, int c, int32_t from, int32_t frames) {
    int16_t* buf = pl.ptrVoices[c];
    int32_t* silentFrom = pl.silentFrom;
    if (!pl.skipSilence) {
        std::memset(buf + 2 * from, 0, sizeof(int16_t) * 2 * frames);
        return;
    }
    int32_t end = from + frames;
    if (from < silentFrom[c]) {
        std::memset(buf + 2 * from, 0, sizeof(int16_t) * 2 * (std::min(end, silentFrom[c]) - from));
        if (end >= silentFrom[c]) silentFrom[c] = from;
    }
}

float GainOf(const Mod& song, FileFormat kind, const Voice& v, const ModInstrument* ins, int32_t tremolo,
             float MASTERVOLUME) {
    int32_t vol = std::clamp(v.volume + tremolo, 0, 63);
    if (kind == FileFormat::XM) {
        float e = ins ? VolumeEnvelopeValue(*ins, v.volenvpos) : 64.0f;
        return static_cast<float>(vol) / 64.0f * e / 64.0f * static_cast<float>(v.fadevolume) / 65536.0f *
               MASTERVOLUME * static_cast<float>(song.globalVolume) / 64.0f;
    }
    int32_t scaled = std::clamp(static_cast<int32_t>(static_cast<float>(vol) * MASTERVOLUME), 0, 63);
    if (kind == FileFormat::S3M)
        return static_cast<float>(song.globalVolume) * (1.0f / 4096.0f) * static_cast<float>(scaled);
    return static_cast<float>(scaled) / 64.0f;
}

// One-shot sample: plays until the position passes the end (MOD and S3M
// play the frame at `length` as a zero, XM stops at it). Returns the frames
// written; the rest of the tick is silence.
int32_t RenderOneShot(Voice& v, const ModSample& s, FileFormat kind, float step, float g, float p, int16_t* out,
                      int32_t frames) {
    const int16_t* d = s.data;
    const int32_t n = s.length;
    const int32_t endAt = kind == FileFormat::XM ? n : n + 1;
    float pos = v.position;
    int32_t f = 0;
    bool ended = false;
    Chunk ch;
    while (f < frames && !ended) {
        const int count = std::min(kChunk, frames - f);
        int m = 0;
        // Both frames inside the data: no checks per frame.
        for (; m < count; m++) {
            int32_t i = static_cast<int32_t>(pos);
            if (i + 1 >= n) break;
            ch.a[m] = d[i];
            ch.b[m] = d[i + 1];
            ch.pos[m] = pos;
            pos += step;
        }
        for (; m < count; m++) {
            int32_t i = static_cast<int32_t>(pos);
            if (i >= endAt) {
                v.period = 0;
                ended = true;
                break;
            }
            int32_t a = i < n ? d[i] : 0;
            ch.a[m] = a;
            ch.b[m] = i + 1 < n ? d[i + 1] : a;
            ch.pos[m] = pos;
            pos += step;
        }
        EmitChunk(ch, m, g, p, out + 2 * f);
        f += m;
    }
    v.position = pos;
    return f;
}

void RenderForward(Voice& v, const ModSample& s, const Loop& loop, float step, float g, float p, int16_t* out,
                   int32_t frames) {
    const int16_t* d = s.data;
    const int32_t start = loop.start, len = loop.length, end = loop.start + loop.length;
    float pos = v.position;
    Chunk ch;
    for (int32_t f = 0; f < frames;) {
        const int count = std::min(kChunk, frames - f);
        for (int m = 0; m < count; m++) {
            const float here = pos;
            int32_t i = static_cast<int32_t>(pos);
            if (i + 1 < end) {
                // Inside the loop (or before it), next frame beside it.
                ch.a[m] = d[i];
                ch.b[m] = d[i + 1];
            } else {
                int32_t j = i;
                if (i >= end) {
                    j = start + (i - start) % len;
                    pos = static_cast<float>(j) + (here - static_cast<float>(i));
                }
                ch.a[m] = d[j];
                ch.b[m] = d[j + 1 < end ? j + 1 : start];
            }
            ch.pos[m] = here;
            pos += step;
        }
        EmitChunk(ch, count, g, p, out + 2 * f);
        f += count;
    }
    v.position = pos;
}

// Ping-pong: forward over start..end-1, back over end..start+1. The backward
// leg's first frame, `end`, may lie past the data when the loop ends at the
// sample's last frame: it reads the last frame instead.
void RenderPingPong(Voice& v, const ModSample& s, const Loop& loop, float step, float g, float p, int16_t* out,
                    int32_t frames) {
    const int16_t* d = s.data;
    const int32_t n = s.length;
    const int32_t start = loop.start, len = loop.length, period2 = 2 * loop.length;
    // Frame of the loop at distance `dist` (0 .. 2 * len - 1) from its start:
    // forward over the first `len`, then backward.
    auto frameAt = [&](int32_t dist) { return dist < len ? start + dist : start + period2 - dist; };
    const int32_t forwardEnd = start + len, roundEnd = start + period2, mirror = 2 * start + period2;
    float pos = v.position;
    Chunk ch;
    for (int32_t f = 0; f < frames;) {
        const int count = std::min(kChunk, frames - f);
        for (int m = 0; m < count; m++) {
            const float here = pos;
            int32_t i = static_cast<int32_t>(pos);
            if (i + 1 < forwardEnd) {
                // Forward leg (or before the loop): the next frame is beside it.
                ch.a[m] = d[i];
                ch.b[m] = d[i + 1];
            } else if (i > forwardEnd && i + 1 < roundEnd) {
                // Backward leg, away from both turns: frame mirror - i, then the one before.
                ch.a[m] = d[mirror - i];
                ch.b[m] = d[mirror - i - 1];
            } else {
                int32_t j = i, k = i + 1;
                if (i > start) {
                    int32_t dist = i - start;
                    // Within the first round the folded position is the
                    // position itself; only a wrap moves it.
                    if (dist >= period2) {
                        dist %= period2;
                        pos = static_cast<float>(start + dist) + (here - static_cast<float>(i));
                    }
                    j = frameAt(dist);
                }
                if (i + 1 > start) {
                    int32_t dist = i + 1 - start;
                    if (dist >= period2) dist %= period2;
                    k = frameAt(dist);
                }
                int32_t a = d[std::min(j, n - 1)];
                ch.a[m] = a;
                ch.b[m] = k < n ? d[k] : a;
            }
            ch.pos[m] = here;
            pos += step;
        }
        EmitChunk(ch, count, g, p, out + 2 * f);
        f += count;
    }
    v.position = pos;
}

// out[e] = clamp(out[e] + (buf[e] >> 1), -32767, 32767): what the Saturation
// table holds, computed in a form that runs eight samples at a time. The
// running sum is always within -32767..32767 and the halved sample within
// -16384..16383, so a saturating 16-bit add followed by a floor at -32767
// gives the same value as the table.
void AddHalvedClamped(int16_t* out, const int16_t* buf, int elements) {
    int e = 0;
#if defined(__SSE2__)
    const __m128i floor = _mm_set1_epi16(-32767);
    for (; e + 8 <= elements; e += 8) {
        __m128i acc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + e));
        __m128i half = _mm_srai_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + e)), 1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e), _mm_max_epi16(_mm_adds_epi16(acc, half), floor));
    }
#endif
    for (; e < elements; e++) out[e] = static_cast<int16_t>(std::clamp(out[e] + (buf[e] >> 1), -32767, 32767));
}

}  // namespace

const int16_t* const Saturation = kSaturation.data();

const ModSample* VoiceSample(const Mod& song, FileFormat kind, const Voice& v) {
    if (v.period == 0 || v.instrument <= 0) return nullptr;
    const ModSample* s;
    if (kind == FileFormat::XM) {
        if (v.instrument > kMaxInstruments || v.instrument > song.nbInstruments) return nullptr;
        const ModInstrument& ins = song.instruments[v.instrument];
        if (ins.nbSamples <= 0 || !ins.samples || v.samplenum < 0 || v.samplenum >= ins.nbSamples) return nullptr;
        s = &ins.samples[v.samplenum];
    } else {
        if (v.instrument >= kSampleSlots) return nullptr;
        s = &song.samples[v.instrument];
    }
    if (!s->data || s->length <= 0) return nullptr;
    return s;
}

void RenderVoiceTick(Player& pl, const Mod& song, FileFormat kind, int c, int32_t heardPeriod, int32_t tremolo) {
    if (c < 0 || c >= kMaxChannels || !pl.ptrVoices[c]) return;
    // Ticks are at most 110250 frames and start before frame 4410, so this
    // never cuts; it keeps a tick inside its buffer whatever the timing.
    const int32_t LEN_TICK = pl.LEN_TICK;
    const float frequencegenerale = pl.frequencegenerale;
    int32_t from = std::clamp(pl.base, 0, kVoiceBufferFrames);
    int32_t frames = std::clamp(LEN_TICK, 0, kVoiceBufferFrames - from);
    Voice& v = pl.Voices[c];
    const ModSample* s = VoiceSample(song, kind, v);
    if (!s || heardPeriod <= 0 || pl.ticks < v.delaytick) {
        WriteSilence(pl, c, from, frames);
        return;
    }

    const ModInstrument* ins = kind == FileFormat::XM ? &song.instruments[v.instrument] : nullptr;
    float g = GainOf(song, kind, v, ins, tremolo, pl.MASTERVOLUME);
    float p = kind == FileFormat::XM ? PanningOfVoice(*ins, *s, v.panenvpos) : pl.pan[c];
    if (!(p >= 0.0f)) p = 0.0f;  // also catches NaN
    if (p > 1.0f) p = 1.0f;
    float step;
    if (kind == FileFormat::XM)
        step = (28634112.0 / static_cast<float>(heardPeriod)) /
               (static_cast<float>(LEN_TICK) * frequencegenerale);
    else
        step = 7159090.5 / (static_cast<float>(LEN_TICK) * static_cast<float>(heardPeriod) * frequencegenerale);

    int16_t* out = pl.ptrVoices[c] + 2 * from;
    Loop loop = LoopOf(*s, kind);
    int32_t written = frames;
    switch (loop.mode) {
        case LoopMode::None: written = RenderOneShot(v, *s, kind, step, g, p, out, frames); break;
        case LoopMode::Forward: RenderForward(v, *s, loop, step, g, p, out, frames); break;
        case LoopMode::PingPong: RenderPingPong(v, *s, loop, step, g, p, out, frames); break;
    }
    if (written < frames) std::memset(out + 2 * written, 0, sizeof(int16_t) * 2 * (frames - written));
    pl.silentFrom[c] = std::max(pl.silentFrom[c], from + frames);
}

void MixVoiceBuffers(Player& p) {
    int nv = std::clamp(p.NVoices, 0, kMaxChannels);
    int16_t* out = p.ActualBufferToBeMixed;
    int32_t* silentFrom = p.silentFrom;
    const bool skipSilence = p.skipSilence;
    std::memset(out, 0, sizeof(p.ActualBufferToBeMixed));
    for (int c = 0; c < nv; c++) {
        const int16_t* buf = p.ptrVoices[c];
        if (!buf) continue;
        if (!skipSilence) {
            for (int e = 0; e < kBlockSamples; e++) out[e] = Saturation[kSaturationOffset + out[e] + (buf[e] >> 1)];
            continue;
        }
        AddHalvedClamped(out, buf, 2 * std::min(silentFrom[c], kBlockFrames));
    }

    p.base -= kBlockFrames;
    if (p.base <= 0) return;
    int32_t tail = std::min(p.base, kVoiceBufferFrames - kBlockFrames);
    for (int c = 0; c < nv; c++) {
        int16_t* buf = p.ptrVoices[c];
        if (!buf) continue;
        if (!skipSilence) {
            std::memmove(buf, buf + kBlockSamples, sizeof(int16_t) * 2 * tail);
            continue;
        }
        // Move only the part of the tail that may hold sound; the front must
        // read as zeros past it.
        int32_t old = silentFrom[c];
        int32_t moved = std::clamp(old - kBlockFrames, 0, tail);
        if (moved > 0) std::memmove(buf, buf + kBlockSamples, sizeof(int16_t) * 2 * moved);
        int32_t clearTo = std::min(tail, old);
        if (clearTo > moved) std::memset(buf + 2 * moved, 0, sizeof(int16_t) * 2 * (clearTo - moved));
        silentFrom[c] = old > tail ? old : moved;
    }
}

void ClearVoiceBuffers(Player& p) {
    for (int c = 0; c < kMaxChannels; c++) {
        if (p.ptrVoices[c])
            std::memset(p.ptrVoices[c], 0, sizeof(int16_t) * 2 * std::clamp(p.silentFrom[c], 0, kVoiceBufferFrames));
        p.silentFrom[c] = 0;
    }
}

}  // namespace moddeck
