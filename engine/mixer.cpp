#include "engine/mixer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "engine/envelopes.h"
#include "engine/mixer_runs.h"
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
             int32_t globalVolume) {
    int32_t vol = std::clamp(v.volume + tremolo, 0, 63);
    if (kind == FileFormat::XM) {
        float e = ins ? VolumeEnvelopeValue(*ins, v.volenvpos) : 64.0f;
        return static_cast<float>(vol) / 64.0f * e / 64.0f * static_cast<float>(v.fadevolume) / 65536.0f *
               static_cast<float>(globalVolume) / 64.0f;
    }
    if (kind == FileFormat::S3M)
        return static_cast<float>(globalVolume) * (1.0f / 4096.0f) * static_cast<float>(vol) * S3MMasterGain(song);
    return static_cast<float>(vol) / 64.0f;
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
            // MOD and S3M play the frame at `length` as a zero, XM stops at it.
            if (i >= (m.xm ? n : n + 1)) return false;
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
// Returns the frames written; after a one-shot sample's end the rest is the
// caller's to silence.
int32_t RenderPlain(Voice& v, const VoiceMix& m, int16_t* out, int32_t frames) {
    int64_t pos = v.position;
    int32_t f = 0;
    for (FramePair ab; f < frames; f++, pos += m.step) {
        pos = FoldIntoLoop(m.loop, pos);
        if (!FrameAt(m, pos, ab)) {
            v.period = 0;
            break;
        }
        EmitFrame(ab.a, ab.b, FractionOf(pos), m.gain, m.pan, out + 2 * f);
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
        // MOD and S3M play the frame at `length` as a zero, XM stops at it.
        return {!m.xm && i == n ? Stretch::Silent : Stretch::Ended, below(n + 1)};
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
// zeros past a MOD or S3M sample only move the position.
void MixVoiceFrames(Voice& v, const VoiceMix& m, MixerIsa isa, int16_t* sum, MixPeak* peak, int32_t frames) {
    const ModSample& s = *m.sample;
    MixRun run{s.data, s.length, 0, 0, m.step, 0, m.gain, m.pan, sum, peak};
    int64_t pos = v.position;
    for (int32_t f = 0; f < frames;) {
        pos = FoldIntoLoop(m.loop, pos);
        const Stretch st = StretchAt(m, pos);
        if (st.kind == Stretch::Ended) {
            v.period = 0;
            break;
        }
        const int32_t count = RunBelow(pos, st.limit, m.step, frames - f);
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
        pos += count * m.step;
        f += count;
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
        const int64_t end = static_cast<int64_t>(m.xm ? m.sample->length : m.sample->length + 1) << 32;
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

// Fast path: every sounding voice straight into the running sum.
void MixFast(Player& p, int16_t* out, int32_t frames) {
    const bool counting = p.levelsWanted.load(std::memory_order_relaxed);
    for (int c = 0; c < p.NVoices; c++) {
        const VoiceMix* m = Sounding(p, c);
        if (!m) continue;
        Voice& v = p.Voices[c];
        if (m->gain == 0.0f) {
            // Faded out, enveloped to nothing, muted or at volume 0: nothing to add.
            AdvanceSilently(v, *m, frames);
            continue;
        }
        MixPeak peak;
        MixVoiceFrames(v, *m, p.isa, p.mixed, counting ? &peak : nullptr, frames);
        if (counting)
            p.peaks[c] = std::max<uint16_t>(p.peaks[c], std::min(std::max<int>(peak.high, -peak.low), 32767));
    }
    std::memcpy(out, p.mixed, sizeof(int16_t) * 2 * frames);
    std::memset(p.mixed, 0, sizeof(int16_t) * 2 * frames);
}

// Plain path: every voice of the song into its own buffer, then the buffers
// halved and added through the clamp table in voice order.
void MixPlain(Player& p, int16_t* out, int32_t frames) {
    const bool counting = p.levelsWanted.load(std::memory_order_relaxed);
    const int32_t samples = 2 * frames;
    std::memset(out, 0, sizeof(int16_t) * samples);
    for (int c = 0; c < p.NVoices; c++) {
        int16_t* buf = p.ptrVoices[c];
        const VoiceMix* m = Sounding(p, c);
        const int32_t written = m ? RenderPlain(p.Voices[c], *m, buf, frames) : 0;
        std::memset(buf + 2 * written, 0, sizeof(int16_t) * 2 * (frames - written));
        for (int32_t e = 0; e < samples; e++) out[e] = Saturation[kSaturationOffset + out[e] + (buf[e] >> 1)];
        if (counting) p.peaks[c] = std::max(p.peaks[c], PeakOf(buf, samples));
    }
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

void PrepareVoiceTick(Player& pl, FileFormat kind, int c, int32_t heardPeriod, int32_t tremolo) {
    VoiceMix& m = pl.mix[c];
    m.sample = nullptr;
    const Mod& song = pl.SONG;
    const Voice& v = pl.Voices[c];
    const ModSample* s = VoiceSample(song, kind, v);
    if (!s || heardPeriod <= 0 || pl.ticks < v.delaytick) return;

    const ModInstrument* ins = kind == FileFormat::XM ? &song.instruments[v.instrument] : nullptr;
    float g = GainOf(song, kind, v, ins, tremolo, pl.globalVolume);
    const float channelGain = pl.channelGain[c].load(std::memory_order_relaxed);
    if (channelGain != 1.0f) g *= channelGain;
    float p = kind == FileFormat::XM ? PanningOfVoice(*ins, v.panning, v.panenvpos) : pl.pan[c];
    if (!(p >= 0.0f)) p = 0.0f;  // also catches NaN
    if (p > 1.0f) p = 1.0f;
    // Sample frames per output frame, from the output rate itself: the
    // tick's length is whole frames, but the pitch must not follow the tempo.
    const double outputRate = pl.rate;
    double rate;
    if (kind == FileFormat::XM && song.linearFreq)
        rate = XMLinearRate(heardPeriod) / outputRate;
    else
        rate = SampleRateOfPeriod(heardPeriod, kind) / outputRate;
    m = VoiceMix{s, LoopOf(*s, kind), static_cast<int64_t>(rate * kFixedOne), g, p, kind == FileFormat::XM};
}

void MixFrames(Player& p, int16_t* out, int32_t frames) {
    frames = std::clamp(frames, 0, kMixChunkFrames);
    if (!p.fastMix)
        MixPlain(p, out, frames);
    else
        MixFast(p, out, frames);
}

void SkipFrames(Player& p, int32_t frames) {
    for (int c = 0; c < p.NVoices; c++)
        if (const VoiceMix* m = Sounding(p, c)) AdvanceSilently(p.Voices[c], *m, frames);
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
