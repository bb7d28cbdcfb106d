#include "engine/mixer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "engine/background_voices.h"
#include "engine/envelopes.h"
#include "engine/it_voices.h"
#include "engine/mixer_runs.h"
#include "engine/mixer_taps.h"
#include "song/periods.h"

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

// The loop the sample plays, as the song's samples state it (see
// Behaviour). A loop that reaches past the data is cut at the data's end;
// one that keeps nothing inside the data (start at or past the end, length
// 0 or less) plays as no loop.
LoopMode ModeOf(int32_t type) {
    return type == 1 ? LoopMode::Forward : type == 2 ? LoopMode::PingPong : LoopMode::None;
}

Loop LoopOf(const ModSample& s, const Behaviour& rules, bool keyDown) {
    LoopMode mode;
    if (rules.samplesNameTheirLoop)
        mode = ModeOf(s.loopType);
    else
        mode = (s.loopLength == 0 || s.loopLength == 2) ? LoopMode::None : LoopMode::Forward;
    Loop loop{mode, s.loopStart, s.loopLength};
    // An IT sample's sustain loop plays while the key is down, in place of its loop.
    if (keyDown && s.sustainLength > 0 && ModeOf(s.sustainType) != LoopMode::None)
        loop = Loop{mode = ModeOf(s.sustainType), s.sustainStart, s.sustainLength};
    if (mode == LoopMode::None) return loop;
    if (loop.start < 0 || loop.length <= 0 || loop.start >= s.length) return Loop{LoopMode::None, 0, 0};
    if (loop.length > s.length - loop.start) loop.length = s.length - loop.start;
    return loop;
}

// The position `pos` with its frame replaced by `frame`, its fraction kept.
inline int64_t AtFrame(int64_t pos, int32_t frame) {
    return (static_cast<int64_t>(frame) << 32) | static_cast<uint32_t>(pos);
}

// The level of the header's master volume (16..127) for a mono song that
// plays at it; 1 for any other.
float MasterGain(const Mod& song) {
    if (!song.behaviour.monoPlaysAtMasterVolume) return 1.0f;
    const int32_t master = song.s3mHeader[3] & 0x7F;
    const bool stereo = song.s3mHeader[3] & 0x80;
    return stereo || master < 16 ? 1.0f : static_cast<float>(master) / 64.0f;
}

// The voice's gain: its volume with the tremolo, the global volume, and an
// instrument's volume envelope (`ins`, null for none) and fade-out, or the
// master volume of a song without instruments. Without a command that
// changes it (MOD) the global volume stays 64, a gain of exactly 1.
float GainOf(const Mod& song, const Voice& v, const ModInstrument* ins, int32_t tremolo, int32_t globalVolume) {
    int32_t vol = std::clamp(v.volume + tremolo, 0, 63);
    if (song.behaviour.instruments) {
        float e = ins ? VolumeEnvelopeValue(*ins, v.volenvpos) : 64.0f;
        return static_cast<float>(vol) / 64.0f * e / 64.0f * static_cast<float>(v.fadevolume) / 65536.0f *
               static_cast<float>(globalVolume) / 64.0f;
    }
    return static_cast<float>(globalVolume) * (1.0f / 4096.0f) * static_cast<float>(vol) * MasterGain(song);
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
bool FrameAt(const VoiceMix& m, int64_t pos, FramePair& out) {
    const Loop& loop = m.loop;
    const int16_t* d = m.sample->data;
    const int32_t n = m.sample->length;
    const int32_t i = FrameOf(pos);
    const int32_t start = loop.start, len = loop.length;
    switch (loop.mode) {
        case LoopMode::None: {
            // The frame at `length` may sound as a zero (see VoiceMix).
            if (i >= (m.framePastEnd ? n + 1 : n)) return false;
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

// Where a one-shot sample ends: at its length, or a frame after it where
// that frame sounds as a zero.
inline int32_t OneShotEnd(const VoiceMix& m) { return m.sample->length + (m.framePastEnd ? 1 : 0); }

// Whether a one-shot sample has ended at frame i.
inline bool EndedAt(const VoiceMix& m, int32_t i) { return m.loop.mode == LoopMode::None && i >= OneShotEnd(m); }

// The value heard at frame x of the sample as the voice plays it on from
// a frame inside the loop (or before it): silence before the data and
// after a one-shot sample, a loop's frames again past its end. Cubic and
// sinc read their taps through it wherever the data does not lie in that
// order.
int16_t HeardFrame(const VoiceMix& m, int32_t x) {
    const Loop& loop = m.loop;
    const int32_t n = m.sample->length, start = loop.start, len = loop.length;
    if (x < 0) return 0;
    if (loop.mode == LoopMode::None) return x < n ? m.sample->data[x] : 0;
    if (loop.mode == LoopMode::Forward && x >= start + len) x = start + (x - start) % len;
    if (loop.mode == LoopMode::PingPong && x >= start) {
        const int32_t dist = (x - start) % (2 * len);
        x = std::min(dist < len ? start + dist : start + 2 * len - dist, n - 1);
    }
    return m.sample->data[x];
}

// Lays out `count` frames as heard from frame x on, as HeardFrame reads
// them: the stretches that lie in order in the data (also a forward loop's
// start again after its end) copied whole, the rest frame by frame.
void LayOutHeard(const VoiceMix& m, int32_t x, int32_t count, int16_t* out) {
    const Loop& loop = m.loop;
    const int32_t inOrderEnd = loop.mode == LoopMode::None ? m.sample->length : loop.start + loop.length;
    for (int32_t k = 0; k < count;) {
        int32_t at = x + k;
        if (loop.mode == LoopMode::Forward && at >= inOrderEnd) at = loop.start + (at - loop.start) % loop.length;
        if (at < 0 || at >= inOrderEnd) {
            out[k++] = HeardFrame(m, at);
            continue;
        }
        const int32_t run = std::min(count - k, inOrderEnd - at);
        std::memcpy(out + k, m.sample->data + at, sizeof(int16_t) * run);
        k += run;
    }
}

// The interpolated value of the frame at `pos` (folded into the loop);
// false when a one-shot sample has ended there.
bool ValueAt(const VoiceMix& m, int64_t pos, float& value) {
    if (m.interpolation == Interpolation::Linear || m.interpolation == Interpolation::None) {
        FramePair ab;
        if (!FrameAt(m, pos, ab)) return false;
        value = LinearValue(ab.a, ab.b, FractionOf(pos) & FractionMask(m.interpolation));
        return true;
    }
    const int32_t i = FrameOf(pos);
    if (EndedAt(m, i)) return false;
    const int taps = TapsOf(m.interpolation);
    int16_t heard[kMaxTaps];
    for (int t = 0; t < taps; t++) heard[t] = HeardFrame(m, i - TapsBefore(taps) + t);
    value = TapValue(taps, heard, TapWeights(taps, FractionOf(pos)));
    return true;
}

// The gain and panning of the ramp's frame that `left` frames precede its end.
inline void RampAt(const Ramp& r, float& gain, float& pan) {
    const float w = static_cast<float>(r.left) / static_cast<float>(r.length);
    gain = r.toGain + (r.fromGain - r.toGain) * w;
    pan = r.toPan + (r.fromPan - r.toPan) * w;
}

// Renders up to `frames` frames of `m` from `pos` on, frame by frame, each
// handed to put(index, frame): the first ones along the ramp, the rest at
// the mix's own gain and panning, through the voice's filter when it has
// one. Returns the frames rendered, fewer when a one-shot sample ends;
// `pos`, the ramp and the filter's history move on.
template <typename Put>
int32_t RenderFrames(const VoiceMix& m, int64_t& pos, Ramp& ramp, FilterHistory& history, int32_t frames, Put put) {
    int32_t f = 0;
    for (float value; f < frames; f++, pos += m.step) {
        pos = FoldIntoLoop(m.loop, pos);
        if (!ValueAt(m, pos, value)) break;
        float gain = m.gain, pan = m.pan;
        if (ramp.left > 0) ramp.left--, RampAt(ramp, gain, pan);
        if (m.filter.on) value = FilteredValue(m.filter, history, value, gain), gain = 1.0f;
        int16_t frame[2];
        EmitValue(value, gain, pan, frame);
        put(f, frame);
    }
    return f;
}

// The plain path: every frame through RenderFrames into the voice's own
// buffer. Returns the frames written; after a one-shot sample's end the
// rest is the caller's to silence.
int32_t RenderPlain(Voice& v, const VoiceMix& m, Ramp& ramp, int16_t* out, int32_t frames) {
    const int32_t f = RenderFrames(m, v.position, ramp, v.filterHistory, frames, [out](int32_t k, const int16_t* frame) {
        out[2 * k] = frame[0];
        out[2 * k + 1] = frame[1];
    });
    if (f < frames) v.period = 0;
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

Stretch StretchAt(const VoiceMix& m, int64_t pos) {
    const Loop& loop = m.loop;
    const int16_t* d = m.sample->data;
    const int32_t n = m.sample->length, i = FrameOf(pos);
    auto below = [](int32_t frame) { return static_cast<int64_t>(frame) << 32; };
    auto fixed = [&](int16_t a, int16_t b) {
        Stretch st{Stretch::Fixed, below(i + 1), 0, i};
        st.fixed[0] = a, st.fixed[1] = b;
        return st;
    };
    if (loop.mode == LoopMode::None) {
        if (i < n - 1) return {Stretch::Forward, below(n - 1)};
        if (i == n - 1) return fixed(d[n - 1], d[n - 1]);
        // The frame at `length` may sound as a zero (see VoiceMix), which
        // a filter hears as one.
        return {m.framePastEnd && i == n ? Stretch::Silent : Stretch::Ended, below(n + 1), 0, n};
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

// The fast path: the frames by stretches, each through MixRunFrames; the
// zero past a one-shot sample's end only moves the position, unless a
// filter hears it.
void MixVoiceFrames(Voice& v, const VoiceMix& m, MixerIsa isa, int16_t* sum, MixPeak* peak, int32_t frames) {
    const ModSample& s = *m.sample;
    MixRun run{s.data, s.length, 0, 0, m.step, 0, m.gain, m.pan, sum, peak, FractionMask(m.interpolation),
               m.filter.on ? &m.filter : nullptr, &v.filterHistory};
    int64_t pos = v.position;
    for (int32_t f = 0; f < frames;) {
        pos = FoldIntoLoop(m.loop, pos);
        const Stretch st = StretchAt(m, pos);
        if (st.kind == Stretch::Ended) {
            v.period = 0;
            break;
        }
        const int32_t count = RunBelow(pos, st.limit, m.step, frames - f);
        if (st.kind != Stretch::Silent || run.filter) {
            const bool fixed = st.kind == Stretch::Fixed || st.kind == Stretch::Silent;
            run.data = fixed ? st.fixed : s.data;
            run.length = fixed ? 2 : s.length;
            run.mirror = st.kind == Stretch::Backward ? st.mirror : 0;
            run.position = fixed ? pos - (static_cast<int64_t>(st.frame) << 32) : pos;
            run.frames = count;
            run.sum = sum + 2 * f;
            MixRunFrames(isa, run);
        }
        pos += count * m.step;
        f += count;
    }
    v.position = pos;
}

// Where the position is next folded back into the loop, or a one-shot
// sample ends: a stretch of heard frames stops there.
int32_t FoldPoint(const VoiceMix& m) {
    const Loop& loop = m.loop;
    if (loop.mode == LoopMode::None) return OneShotEnd(m);
    return loop.mode == LoopMode::Forward ? loop.start + loop.length : loop.start + 2 * loop.length;
}

// The fast path of cubic and sinc: stretches whose taps all lie side by
// side in the data read it there; around a loop's ends and the sample's
// (and on a ping-pong loop's way back) the frames as heard are first laid
// out in `heard`, at most kHeardSpan frames at a time.
void MixTapVoiceFrames(Voice& v, const VoiceMix& m, MixerIsa isa, int16_t* heard, int16_t* sum, MixPeak* peak,
                       int32_t frames) {
    constexpr int32_t kHeardSpan = kHeardFrames - kMaxTaps;
    const int taps = TapsOf(m.interpolation), before = TapsBefore(taps);
    const int32_t inOrderEnd = (m.loop.mode == LoopMode::None ? m.sample->length : m.loop.start + m.loop.length) -
                               (taps - before - 1);
    auto below = [](int64_t frame) { return frame << 32; };
    TapRun run{m.sample->data, taps, 0, m.step, 0, m.gain, m.pan, sum, peak};
    int64_t pos = v.position;
    for (int32_t f = 0; f < frames;) {
        pos = FoldIntoLoop(m.loop, pos);
        const int32_t i = FrameOf(pos);
        if (EndedAt(m, i)) {
            v.period = 0;
            break;
        }
        if (i >= before && i < inOrderEnd) {
            run.data = m.sample->data;
            run.position = pos;
            run.frames = RunBelow(pos, below(inOrderEnd), m.step, frames - f);
        } else {
            run.frames = RunBelow(pos, below(std::min<int64_t>(int64_t{i} + kHeardSpan, FoldPoint(m))), m.step,
                                  frames - f);
            const int32_t last = FrameOf(pos + (run.frames - 1) * m.step);
            LayOutHeard(m, i - before, last - i + taps, heard);
            run.data = heard + before;
            run.position = pos - below(i);
        }
        run.sum = sum + 2 * f;
        MixTapRunFrames(isa, run);
        pos += run.frames * m.step;
        f += run.frames;
    }
    v.position = pos;
}

// A voice at gain 0 is heard as silence, but its sample runs on: the
// position ends where rendering would leave it, and a one-shot
// sample still ends. Fixed-point steps add up exactly, so `frames` of them
// are one multiplication, and the loops' folds one remainder.
void AdvanceSilently(Voice& v, const VoiceMix& m, int32_t frames) {
    if (frames <= 0) return;
    const int64_t pos = v.position, step = m.step;
    if (m.loop.mode == LoopMode::None) {
        // The renderer stops at the first frame whose position has reached the end.
        const int64_t end = static_cast<int64_t>(OneShotEnd(m)) << 32;
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
    v.position = FoldIntoLoop(m.loop, pos + (frames - 1) * step) + step;
}

// The loudest of `count` samples, 0..32767 (-32768 has no positive twin in
// the range the levels use).
uint16_t PeakOf(const int16_t* samples, int32_t count) {
    int hi = 0, lo = 0;
    for (int32_t i = 0; i < count; i++) {
        hi = std::max<int>(hi, samples[i]);
        lo = std::min<int>(lo, samples[i]);
    }
    return static_cast<uint16_t>(std::min(std::max(hi, -lo), 32767));
}

// Whether voice c mixes anything in the rest of its tick: a one-shot sample
// that ended earlier in the tick has left its period at 0.
const VoiceMix* Sounding(const Player& p, int c) {
    const VoiceMix& m = p.mix[c];
    return m.sample && p.Voices[c].period != 0 ? &m : nullptr;
}

// Whether a voice's interpolation reads 4 or 8 taps.
inline bool ReadsTaps(const VoiceMix& m) {
    return m.interpolation == Interpolation::Cubic || m.interpolation == Interpolation::Sinc;
}

// The first frames of the render that go frame by frame into the running
// sum, as the plain path renders them: all of a filtered cubic or sinc
// voice's, else those its ramp still has. Returns how many, fewer when its
// one-shot sample ends.
int32_t MixFrameByFrame(Player& p, int c, const VoiceMix& m, MixPeak* peak, int32_t frames) {
    Voice& v = p.Voices[c];
    const int32_t want = m.filter.on && ReadsTaps(m) ? frames : std::min(p.ramps[c].left, frames);
    const int32_t done = RenderFrames(m, v.position, p.ramps[c], v.filterHistory, want, [&](int32_t k, const int16_t* frame) {
        AddFrame(frame, p.mixed + 2 * k, peak);
    });
    if (done < want) v.period = 0;
    return done;
}

// The frames of a voice after its ramp, by runs of the fast kernels.
void MixSteadyFrames(Player& p, int c, const VoiceMix& m, MixPeak* peak, int32_t first, int32_t frames) {
    Voice& v = p.Voices[c];
    if (frames <= 0 || v.period == 0) return;
    if (m.gain == 0.0f && !m.filter.on) {
        // Faded out, enveloped to nothing, muted or at volume 0: nothing to
        // add (a filter's history still runs on).
        AdvanceSilently(v, m, frames);
    } else if (ReadsTaps(m)) {
        MixTapVoiceFrames(v, m, p.isa, p.heardFrames, p.mixed + 2 * first, peak, frames);
    } else {
        MixVoiceFrames(v, m, p.isa, p.mixed + 2 * first, peak, frames);
    }
}

// The note fading out beside voice c, if any, through `put`; it is over at
// the end of its ramp or of its sample.
template <typename Put>
void RenderTail(Player& p, int c, int32_t frames, Put put) {
    VoiceTail& tail = p.tails[c];
    if (!tail.mix.sample) return;
    const int32_t want = std::min(tail.ramp.left, frames);
    if (RenderFrames(tail.mix, tail.position, tail.ramp, tail.filterHistory, want, put) < want || tail.ramp.left == 0)
        tail.mix.sample = nullptr;
}

// Calls f(index) for every voice that mixes: the channels' in order, then
// the background voices that sound or fade out.
template <typename F>
void ForEachVoice(const Player& p, F f) {
    for (int c = 0; c < p.NVoices; c++) f(c);
    if (!p.SONG.behaviour.newNoteActions) return;
    for (int b = kMaxChannels; b < kMaxVoices; b++)
        if (p.mix[b].sample || p.tails[b].mix.sample) f(b);
}

// Counts a voice's loudest value into its channel's peak.
void CountPeak(Player& p, int c, uint16_t peak) {
    uint16_t& counted = p.peaks[ChannelOf(p, c)];
    counted = std::max(counted, peak);
}

// Fast path: every sounding voice straight into the running sum, its tail
// after it.
void MixFast(Player& p, int16_t* out, int32_t frames) {
    const bool counting = p.levelsWanted.load(std::memory_order_relaxed);
    ForEachVoice(p, [&](int c) {
        MixPeak peak;
        MixPeak* const counted = counting ? &peak : nullptr;
        if (const VoiceMix* m = Sounding(p, c)) {
            const int32_t done = MixFrameByFrame(p, c, *m, counted, frames);
            MixSteadyFrames(p, c, *m, counted, done, frames - done);
        }
        RenderTail(p, c, frames, [&](int32_t k, const int16_t* frame) { AddFrame(frame, p.mixed + 2 * k, counted); });
        if (counting) CountPeak(p, c, static_cast<uint16_t>(std::min(std::max<int>(peak.high, -peak.low), 32767)));
    });
    std::memcpy(out, p.mixed, sizeof(int16_t) * 2 * frames);
    std::memset(p.mixed, 0, sizeof(int16_t) * 2 * frames);
}

// Adds a voice's buffer, halved, to `out` through the clamp table, and
// counts its peak.
void AddBuffer(Player& p, int c, const int16_t* buf, int16_t* out, int32_t samples, bool counting) {
    for (int32_t e = 0; e < samples; e++) out[e] = Saturation[kSaturationOffset + out[e] + (buf[e] >> 1)];
    if (counting) CountPeak(p, c, PeakOf(buf, samples));
}

// Plain path: every voice of the song into its own buffer, then the buffers
// halved and added through the clamp table in voice order, each voice's
// fading tail after it.
void MixPlain(Player& p, int16_t* out, int32_t frames) {
    const bool counting = p.levelsWanted.load(std::memory_order_relaxed);
    const int32_t samples = 2 * frames;
    std::memset(out, 0, sizeof(int16_t) * samples);
    ForEachVoice(p, [&](int c) {
        // A background voice borrows its channel's buffer, free again once added.
        int16_t* buf = p.ptrVoices[ChannelOf(p, c)];
        const VoiceMix* m = Sounding(p, c);
        const int32_t written = m ? RenderPlain(p.Voices[c], *m, p.ramps[c], buf, frames) : 0;
        std::memset(buf + 2 * written, 0, sizeof(int16_t) * 2 * (frames - written));
        AddBuffer(p, c, buf, out, samples, counting);
        if (!p.tails[c].mix.sample) return;
        std::memset(buf, 0, sizeof(int16_t) * samples);
        RenderTail(p, c, frames, [buf](int32_t k, const int16_t* frame) {
            buf[2 * k] = frame[0];
            buf[2 * k + 1] = frame[1];
        });
        AddBuffer(p, c, buf, out, samples, counting);
    });
}

// Whether the listener's Amiga mode plays this song (see Behaviour).
bool InAmigaMode(const Player& pl) {
    return pl.SONG.behaviour.amigaModeApplies && pl.sound.amiga.load(std::memory_order_relaxed);
}

// The playback rate of a period; in Amiga mode, the PAL Amiga's clock
// rather than the PC trackers'.
double RateOfPeriod(const Player& pl, int32_t period) {
    constexpr double kPalAmigaClock = 7093789.2;
    if (!InAmigaMode(pl)) return SampleRateOfPeriod(period, pl.SONG.behaviour.periods);
    return period > 0 ? kPalAmigaClock / period : 0.0;
}

// The share of channel c sent left: the song's, or in Amiga mode the
// Amiga's hard left, right, right, left.
float ChannelPan(const Player& pl, int c) {
    c = ChannelOf(pl, c);
    if (!InAmigaMode(pl)) return pl.pan[c];
    return c % 4 == 0 || c % 4 == 3 ? 1.0f : 0.0f;
}

// A panning widened or narrowed about the centre: 0% puts everything in
// the middle, 200% doubles the distance from it (kept to the sides later).
float Separated(float pan, int32_t percent) {
    if (percent == 100) return pan;
    return 0.5f + (pan - 0.5f) * (static_cast<float>(percent) / 100.0f);
}

// The ramp length: 1.5 ms, which takes the click out of a step and still
// lets a drum's attack through.
int32_t RampFrames(const Player& pl) { return std::max(1, pl.rate * 3 / 2000); }

// After a tick's mix has been set: with ramping, the voice ramps from the
// gain and panning it was heard at (silence, for a new note) to its new
// ones, and a note that was heard and stopped or gave way to another (a
// new sample, or the position moved since mixing left it) fades out as the
// voice's tail. Without, the voice takes its new ones at once.
void FollowRamp(Player& pl, int c, const VoiceMix& was) {
    Ramp& r = pl.ramps[c];
    const VoiceMix& m = pl.mix[c];
    float heardGain = r.toGain, heardPan = r.toPan;
    if (r.left > 0) RampAt(r, heardGain, heardPan);
    const float gain = m.sample ? m.gain : 0.0f, pan = m.sample ? m.pan : heardPan;
    if (!pl.sound.ramping.load(std::memory_order_relaxed)) {
        r = Ramp{gain, pan, gain, pan, 0, 1};
        return;
    }
    const int32_t length = RampFrames(pl);
    const bool sameNote = m.sample && m.sample == was.sample && pl.Voices[c].position == pl.mixedTo[c];
    if (!sameNote && was.sample && heardGain != 0.0f)
        pl.tails[c] = VoiceTail{was, pl.mixedTo[c], Ramp{heardGain, heardPan, 0.0f, heardPan, length, length},
                                pl.Voices[c].filterHistory};
    if (!sameNote) heardGain = 0.0f, heardPan = pan;
    const bool changed = heardGain != gain || heardPan != pan;
    r = Ramp{heardGain, heardPan, gain, pan, changed ? length : 0, length};
}

// The share of the cutoff that the instrument's filter envelope leaves
// this tick: all of it without one.
int32_t CutoffShare(const Voice& v, const ModInstrument* ins) {
    constexpr int32_t kFilterEnvelope = kEnvelopeOn | kEnvelopeFilter;
    if (!ins || (ins->pitchType & kFilterEnvelope) != kFilterEnvelope) return kFullCutoffShare;
    return v.filterEnvelope + kFullCutoffShare / 2;
}

// The voice's filter through the tick. As in IT, a filter that was on
// keeps its last setting when the cutoff and resonance come back to none
// within a note (a retrigger included); a new note (`restarts`) takes
// them as they are.
FilterCoefficients TickFilter(const Player& pl, int c, const ModInstrument* ins, const VoiceMix& was, bool restarts) {
    const Voice& v = pl.Voices[c];
    const FilterCoefficients f = FilterFor(v.cutoff, v.resonance, CutoffShare(v, ins), pl.rate);
    return f.on || restarts ? f : was.filter;
}

// A new note's filter starts from silence, once the note it replaces has
// taken its own history to fade out with. A retrigger's goes on.
void RestartFilter(Player& pl, int c, bool restarts) {
    if (restarts) pl.Voices[c].filterHistory = {};
    pl.Voices[c].noteRestartsFilter = false;
}

}  // namespace

const int16_t* const Saturation = kSaturation.data();

const ModSample* VoiceSample(const Mod& song, const Voice& v) {
    if (v.period == 0 || v.instrument <= 0) return nullptr;
    const ModSample* s;
    if (song.behaviour.instrumentsShareSamples) {
        if (v.samplenum < 1 || v.samplenum >= kSampleSlots) return nullptr;
        s = &song.samples[v.samplenum];
    } else if (song.behaviour.instruments) {
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

void PrepareVoiceTick(Player& pl, int c, int32_t heardPeriod, int32_t tremolo) {
    VoiceMix& m = pl.mix[c];
    const VoiceMix was = m;
    m.sample = nullptr;
    const Mod& song = pl.SONG;
    const Behaviour& rules = song.behaviour;
    Voice& v = pl.Voices[c];
    const bool restarts = v.noteRestartsFilter;
    const ModSample* s = VoiceSample(song, v);
    if (!s || heardPeriod <= 0 || pl.ticks < v.delaytick) {
        FollowRamp(pl, c, was);
        RestartFilter(pl, c, restarts);
        return;
    }

    // Sample frames per output frame, from the output rate itself: the
    // tick's length is whole frames, but the pitch must not follow the tempo.
    const double outputRate = pl.rate;
    float g, p;
    double rate;
    const ModInstrument* ins;
    if (rules.instrumentsShareSamples) {
        ins = ITInstrumentOf(song, v);
        const ITSound sound = ITSoundOf(pl, v, *s, heardPeriod, tremolo);
        // The channel's own volume (64 = full), and the panbrello's swing
        // in 256ths of the width.
        g = sound.gain * static_cast<float>(std::clamp(v.channelVolume, 0, 64)) / 64.0f;
        p = sound.pan - static_cast<float>(v.panbrello) / 256.0f;
        // A period slid out of all reason still steps within the fixed point.
        rate = std::min(sound.rate / outputRate, 65536.0);
    } else {
        // VoiceSample has checked the instrument.
        ins = rules.instruments ? &song.instruments[v.instrument] : nullptr;
        g = GainOf(song, v, ins, tremolo, pl.globalVolume);
        p = ins ? PanningOfVoice(*ins, v.panning, v.panenvpos) : ChannelPan(pl, c);
        if (rules.periods == PeriodSystem::XM && song.linearFreq)
            rate = XMLinearRate(heardPeriod) / outputRate;
        else
            rate = RateOfPeriod(pl, heardPeriod) / outputRate;
    }
    const float channelGain = pl.channelGain[ChannelOf(pl, c)].load(std::memory_order_relaxed);
    if (channelGain != 1.0f) g *= channelGain;
    p = Separated(p, pl.sound.separation.load(std::memory_order_relaxed));
    if (!(p >= 0.0f)) p = 0.0f;  // also catches NaN
    if (p > 1.0f) p = 1.0f;
    m = VoiceMix{s, LoopOf(*s, rules, !v.keyoff), static_cast<int64_t>(rate * kFixedOne), g, p, rules.oneShotSoundsFramePastEnd,
                 pl.sound.interpolation.load(std::memory_order_relaxed), TickFilter(pl, c, ins, was, restarts)};
    FollowRamp(pl, c, was);
    RestartFilter(pl, c, restarts);
}

void MixFrames(Player& p, int16_t* out, int32_t frames) {
    frames = std::clamp(frames, 0, kMixChunkFrames);
    if (!p.fastMix)
        MixPlain(p, out, frames);
    else
        MixFast(p, out, frames);
    ForEachVoice(p, [&](int c) { p.mixedTo[c] = p.Voices[c].position; });
}

void SkipFrames(Player& p, int32_t frames) {
    ForEachVoice(p, [&](int c) {
        if (const VoiceMix* m = Sounding(p, c)) AdvanceSilently(p.Voices[c], *m, frames);
        // A seek lands on the gains as they are, with nothing fading out
        // and the filter starting from silence.
        p.ramps[c].left = 0;
        p.Voices[c].filterHistory = {};
        p.tails[c].mix.sample = nullptr;
        p.mixedTo[c] = p.Voices[c].position;
    });
}

bool UsePlainMixer(Player& p) {
    for (int16_t*& buf : p.ptrVoices) {
        if (!buf) buf = static_cast<int16_t*>(std::calloc(2 * kMixChunkFrames, sizeof(int16_t)));
        if (!buf) return false;
    }
    p.fastMix = false;
    return true;
}

void UseFastMixer(Player& p, MixerIsa isa) {
    p.fastMix = true;
    p.isa = isa;
}

}  // namespace moddeck
