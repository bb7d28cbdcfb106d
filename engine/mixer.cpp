#include "engine/mixer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/envelopes.h"
#include "engine/mixer_runs.h"
#include "engine/periods.h"

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

// The position `pos` with its frame replaced by `frame`, its fraction kept.
inline int64_t AtFrame(int64_t pos, int32_t frame) {
    return (static_cast<int64_t>(frame) << 32) | static_cast<uint32_t>(pos);
}

// A mono S3M plays at the level its header's master volume (16..127) asks
// for, as the tracker's mono output did; stereo songs keep their level.
float S3MMasterGain(const Mod& song) {
    const int32_t master = song.s3mHeader[3] & 0x7F;
    const bool stereo = song.s3mHeader[3] & 0x80;
    return stereo || master < 16 ? 1.0f : static_cast<float>(master) / 64.0f;
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
        return static_cast<float>(song.globalVolume) * (1.0f / 4096.0f) * static_cast<float>(scaled) *
               S3MMasterGain(song);
    return static_cast<float>(scaled) / 64.0f;
}

// The position folded back into the loop once it has run past it: forward
// loops wrap to their start, ping-pong loops to the start of their round
// (forward then back). Rendering folds before it reads each frame.
int64_t FoldIntoLoop(const Loop& loop, int64_t pos) {
    const int32_t i = FrameOf(pos), start = loop.start;
    if (loop.mode == LoopMode::Forward && i >= start + loop.length)
        return AtFrame(pos, start + (i - start) % loop.length);
    if (loop.mode == LoopMode::PingPong && i > start && i - start >= 2 * loop.length)
        return AtFrame(pos, start + (i - start) % (2 * loop.length));
    return pos;
}

// The two sample values a frame interpolates between.
struct FramePair {
    int32_t a;
    int32_t b;
};

// Where the frame at `pos` (folded into the loop) reads: the formula of
// each loop mode, frame by frame, as the plain path renders. False when a
// one-shot sample has ended at `pos`.
bool FrameAt(const ModSample& s, FileFormat kind, const Loop& loop, int64_t pos, FramePair& out) {
    const int16_t* d = s.data;
    const int32_t n = s.length;
    const int32_t i = FrameOf(pos);
    const int32_t start = loop.start, len = loop.length;
    switch (loop.mode) {
        case LoopMode::None: {
            // MOD and S3M play the frame at `length` as a zero, XM stops at it.
            if (i >= (kind == FileFormat::XM ? n : n + 1)) return false;
            const int32_t a = i < n ? d[i] : 0;
            out = {a, i + 1 < n ? d[i + 1] : a};
            return true;
        }
        case LoopMode::Forward: {
            const int32_t end = start + len;
            out = {d[i], d[i + 1 < end ? i + 1 : start]};
            return true;
        }
        case LoopMode::PingPong: {
            // Forward over start..end-1, back over end..start+1. The backward
            // leg's first frame, `end`, may lie past the data when the loop
            // ends at the sample's last frame: it reads the last frame instead.
            auto frameAt = [&](int32_t dist) { return dist < len ? start + dist : start + 2 * len - dist; };
            const int32_t j = i > start ? frameAt(i - start) : i;
            const int32_t k = i + 1 > start ? frameAt((i + 1 - start) % (2 * len)) : i + 1;
            const int32_t a = d[std::min(j, n - 1)];
            out = {a, k < n ? d[k] : a};
            return true;
        }
    }
    return false;
}

// The plain path: every frame through FrameAt into the voice's own buffer.
// Returns the frames written; after a one-shot sample's end the rest of the
// tick is the caller's to silence.
int32_t RenderPlain(Voice& v, const ModSample& s, FileFormat kind, const Loop& loop, int64_t step, float g, float p,
                    int16_t* out, int32_t frames) {
    int64_t pos = v.position;
    int32_t f = 0;
    for (FramePair ab; f < frames; f++, pos += step) {
        pos = FoldIntoLoop(loop, pos);
        if (!FrameAt(s, kind, loop, pos, ab)) {
            v.period = 0;
            break;
        }
        EmitFrame(ab.a, ab.b, FractionOf(pos), g, p, out + 2 * f);
    }
    v.position = pos;
    return f;
}

// How many frames, up to `max`, from `pos` on lie below `limit`.
inline int32_t RunBelow(int64_t pos, int64_t limit, int64_t step, int32_t max) {
    if (pos >= limit) return 0;
    if (step <= 0) return max;
    const int64_t run = (limit - pos + step - 1) / step;
    return run < max ? static_cast<int32_t>(run) : max;
}

// The frames from `pos` (folded into the loop) on, up to `limit`, that read
// their two values alike: side by side forward, side by side backward (the
// return leg of a ping-pong loop, from `mirror`), or one pair throughout
// (`fixed`: a loop's last frame with its first, a sample's last frame with
// itself). The fast path's restatement of FrameAt, by stretches.
struct Stretch {
    enum Kind { Forward, Backward, Fixed, Silent, Ended } kind;
    int64_t limit = 0;
    int32_t mirror = 0;
    int32_t frame = 0;  // Fixed: the frame whose positions the stretch holds
    int16_t fixed[2] = {};
};

Stretch StretchAt(const ModSample& s, FileFormat kind, const Loop& loop, int64_t pos) {
    const int16_t* d = s.data;
    const int32_t n = s.length, i = FrameOf(pos);
    auto below = [](int32_t frame) { return static_cast<int64_t>(frame) << 32; };
    auto fixed = [&](int16_t a, int16_t b) {
        Stretch st{Stretch::Fixed, below(i + 1), 0, i};
        st.fixed[0] = a, st.fixed[1] = b;
        return st;
    };
    if (loop.mode == LoopMode::None) {
        if (i < n - 1) return {Stretch::Forward, below(n - 1)};
        if (i == n - 1) return fixed(d[n - 1], d[n - 1]);
        // MOD and S3M play the frame at `length` as a zero, XM stops at it.
        return {kind != FileFormat::XM && i == n ? Stretch::Silent : Stretch::Ended, below(n + 1)};
    }
    const int32_t start = loop.start, end = loop.start + loop.length;
    if (loop.mode == LoopMode::Forward)
        return i < end - 1 ? Stretch{Stretch::Forward, below(end - 1)} : fixed(d[end - 1], d[start]);
    // Ping-pong: a loop that ends at the sample's last frame turns on it
    // (the frame at `end` past the data reads it too).
    const bool turnsOnLast = end == n;
    if (i < (turnsOnLast ? end - 1 : end)) return {Stretch::Forward, below(turnsOnLast ? end - 1 : end)};
    if (turnsOnLast && i <= end) return fixed(d[n - 1], d[n - 1]);
    return {Stretch::Backward, below(end + loop.length), 2 * end};
}

// The fast path: the frames of the tick by stretches, each through
// MixRunFrames; the zeros past a MOD or S3M sample only move the position.
void MixVoiceFrames(Voice& v, const ModSample& s, FileFormat kind, const Loop& loop, MixerIsa isa, MixRun run,
                    int32_t frames) {
    int16_t* const sum = run.sum;
    int64_t pos = v.position;
    for (int32_t f = 0; f < frames;) {
        pos = FoldIntoLoop(loop, pos);
        const Stretch st = StretchAt(s, kind, loop, pos);
        if (st.kind == Stretch::Ended) {
            v.period = 0;
            break;
        }
        const int32_t count = RunBelow(pos, st.limit, run.step, frames - f);
        if (st.kind != Stretch::Silent) {
            const bool fixed = st.kind == Stretch::Fixed;
            run.data = fixed ? st.fixed : s.data;
            run.length = fixed ? 2 : s.length;
            run.mirror = st.kind == Stretch::Backward ? st.mirror : 0;
            run.position = fixed ? pos - (static_cast<int64_t>(st.frame) << 32) : pos;
            run.frames = count;
            run.sum = sum + 2 * f;
            MixRunFrames(isa, run);
        }
        pos += count * run.step;
        f += count;
    }
    v.position = pos;
}

// A voice at gain 0 is heard as silence, but its sample runs on: the
// position ends where rendering would leave it, and a one-shot
// sample still ends. Fixed-point steps add up exactly, so `frames` of them
// are one multiplication, and the loops' folds one remainder.
void AdvanceSilently(Voice& v, const ModSample& s, FileFormat kind, const Loop& loop, int64_t step, int32_t frames) {
    if (frames <= 0) return;
    const int64_t pos = v.position;
    if (loop.mode == LoopMode::None) {
        // The renderer stops at the first frame whose position has reached the end.
        const int64_t end = static_cast<int64_t>(kind == FileFormat::XM ? s.length : s.length + 1) << 32;
        const int64_t left = end - pos;
        const int64_t endsAt = left <= 0 ? 0 : step <= 0 ? INT64_MAX : (left + step - 1) / step;
        if (endsAt < frames) {
            v.period = 0;
            v.position = pos + endsAt * step;
        } else {
            v.position = pos + frames * step;
        }
        return;
    }
    // Rendering folds the position into the loop before each frame: the
    // last frame's position folded once, plus one step.
    v.position = FoldIntoLoop(loop, pos + (frames - 1) * step) + step;
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
    if (c < 0 || c >= kMaxChannels || !(pl.fastMix ? pl.mixed : pl.ptrVoices[c])) return;
    // Ticks are at most 110250 frames and start before frame 4410, so this
    // never cuts; it keeps a tick inside its buffer whatever the timing.
    const int32_t LEN_TICK = pl.LEN_TICK;
    const float frequencegenerale = pl.frequencegenerale;
    const int32_t from = std::clamp(pl.base, 0, kVoiceBufferFrames);
    const int32_t frames = std::clamp(LEN_TICK, 0, kVoiceBufferFrames - from);
    int16_t* const plain = pl.fastMix ? nullptr : pl.ptrVoices[c] + 2 * from;
    if (plain) pl.silentFrom[c] = std::max(pl.silentFrom[c], from + frames);
    Voice& v = pl.Voices[c];
    const ModSample* s = VoiceSample(song, kind, v);
    if (!s || heardPeriod <= 0 || pl.ticks < v.delaytick) {
        if (plain) std::memset(plain, 0, sizeof(int16_t) * 2 * frames);
        return;
    }

    const ModInstrument* ins = kind == FileFormat::XM ? &song.instruments[v.instrument] : nullptr;
    const float g = GainOf(song, kind, v, ins, tremolo, pl.MASTERVOLUME);
    float p = kind == FileFormat::XM ? PanningOfVoice(*ins, v.panning, v.panenvpos) : pl.pan[c];
    if (!(p >= 0.0f)) p = 0.0f;  // also catches NaN
    if (p > 1.0f) p = 1.0f;
    double rate;  // sample frames per output frame
    if (kind == FileFormat::XM && song.linearFreq)
        rate = XMLinearRate(heardPeriod) / (static_cast<float>(LEN_TICK) * frequencegenerale);
    else if (kind == FileFormat::XM)
        rate = (28634112.0 / static_cast<float>(heardPeriod)) /
               (static_cast<float>(LEN_TICK) * frequencegenerale);
    else
        rate = 7159090.5 / (static_cast<float>(LEN_TICK) * static_cast<float>(heardPeriod) * frequencegenerale);
    const int64_t step = static_cast<int64_t>(rate * kFixedOne);
    const Loop loop = LoopOf(*s, kind);

    if (plain) {
        const int32_t written = RenderPlain(v, *s, kind, loop, step, g, p, plain, frames);
        std::memset(plain + 2 * written, 0, sizeof(int16_t) * 2 * (frames - written));
        return;
    }
    if (g == 0.0f) {
        // Faded out, enveloped to nothing or at volume 0: nothing to add.
        AdvanceSilently(v, *s, kind, loop, step, frames);
        return;
    }
    MixRun run{s->data, s->length, 0, 0, step, 0, g, p, pl.mixed + 2 * from, nullptr};
    pl.mixedTo = std::max(pl.mixedTo, from + frames);
    if (!pl.meters.wanted.load(std::memory_order_relaxed)) {
        MixVoiceFrames(v, *s, kind, loop, pl.isa, run, frames);
        return;
    }
    // Each block's share of the tick keeps its own peak for the meters.
    for (int32_t f = from; f < from + frames;) {
        const int32_t block = f / kBlockFrames, to = std::min(from + frames, (block + 1) * kBlockFrames);
        MixPeak peak;
        run.sum = pl.mixed + 2 * f;
        run.peak = &peak;
        MixVoiceFrames(v, *s, kind, loop, pl.isa, run, to - f);
        // -32768 has no positive twin in the range the meters use.
        const uint16_t loudest = static_cast<uint16_t>(std::min(std::max<int>(peak.high, -peak.low), 32767));
        pl.peaksAhead[c][block] = std::max(pl.peaksAhead[c][block], loudest);
        f = to;
    }
}

namespace {

// Fast path: the running sum holds the block as it will sound.
void FinishMixedBlock(Player& p) {
    int16_t* sum = p.mixed;
    std::memcpy(p.ActualBufferToBeMixed, sum, sizeof(p.ActualBufferToBeMixed));
    p.base -= kBlockFrames;
    // What the ticks rendered past the block moves to the front; the rest of
    // what held sound is cleared.
    const int32_t tail = std::clamp(p.base, 0, kVoiceBufferFrames - kBlockFrames);
    const int32_t moved = std::clamp(p.mixedTo - kBlockFrames, 0, tail);
    std::memmove(sum, sum + kBlockSamples, sizeof(int16_t) * 2 * moved);
    if (p.mixedTo > moved) std::memset(sum + 2 * moved, 0, sizeof(int16_t) * 2 * (p.mixedTo - moved));
    p.mixedTo = moved;
    for (auto& peaks : p.peaksAhead) {
        std::memmove(peaks, peaks + 1, sizeof(peaks) - sizeof(peaks[0]));
        peaks[kPeakBlocks - 1] = 0;
    }
}

// Plain path: every voice's buffer, halved and added through the clamp table.
void MixPlainBlock(Player& p) {
    int16_t* out = p.ActualBufferToBeMixed;
    std::memset(out, 0, sizeof(p.ActualBufferToBeMixed));
    for (const int16_t* buf : p.ptrVoices)
        for (int e = 0; buf && e < kBlockSamples; e++) out[e] = Saturation[kSaturationOffset + out[e] + (buf[e] >> 1)];
    p.base -= kBlockFrames;
    if (p.base <= 0) return;
    const int32_t tail = std::min(p.base, kVoiceBufferFrames - kBlockFrames);
    for (int16_t* buf : p.ptrVoices)
        if (buf) std::memmove(buf, buf + kBlockSamples, sizeof(int16_t) * 2 * tail);
}

}  // namespace

void MixVoiceBuffers(Player& p) {
    if (!p.fastMix)
        MixPlainBlock(p);
    else if (p.mixed)
        FinishMixedBlock(p);
}

void ClearVoiceBuffers(Player& p) {
    if (p.mixed) std::memset(p.mixed, 0, sizeof(int16_t) * 2 * std::clamp(p.mixedTo, 0, kVoiceBufferFrames));
    p.mixedTo = 0;
    for (int c = 0; c < kMaxChannels; c++) {
        if (p.ptrVoices[c])
            std::memset(p.ptrVoices[c], 0, sizeof(int16_t) * 2 * std::clamp(p.silentFrom[c], 0, kVoiceBufferFrames));
        p.silentFrom[c] = 0;
    }
    std::memset(p.peaksAhead, 0, sizeof(p.peaksAhead));
}

}  // namespace moddeck
