#include "engine/it_voices.h"

#include <algorithm>
#include <cmath>

#include "engine/envelopes.h"
#include "song/periods.h"

namespace moddeck {

namespace {

constexpr int32_t kFullFade = 65536;
constexpr float kPanUnits = 256.0f;  // IT pannings 0 (left) .. 256 (right)

// A panning of the record (0..255) in IT's units.
float PanUnits(int32_t panning) { return static_cast<float>(std::clamp(panning, 0, 255)) * kPanUnits / 255.0f; }

// The note's panning: the channel's, moved by the pitch-pan separation
// (half its value per semitone from the centre) and the random variation.
int32_t NotePanning(Player& p, int c, const ITNote& n) {
    float pan = (1.0f - p.pan[c]) * kPanUnits;
    if (const ModInstrument* ins = n.instrument) {
        const int32_t fromCentre = n.note - std::clamp(ins->pitchPanCenter, 0, kITNotes - 1);
        pan += static_cast<float>(fromCentre * std::clamp(ins->pitchPanSeparation, -32, 32)) / 2.0f;
        pan += static_cast<float>(RandomWithin(p, std::clamp(ins->randomPanning, 0, 64)) * 4);
    }
    return static_cast<int32_t>(std::clamp(pan, 0.0f, kPanUnits - 1.0f) * 255.0f / (kPanUnits - 1.0f));
}

// The note's level: sample global volume (0..64) times instrument global
// volume (0..128) varied by up to randomVolume percent either way.
float NoteLevel(Player& p, const ITNote& n, const ModSample& s) {
    float level = static_cast<float>(std::clamp(s.globalVolume, 0, 64)) / 64.0f;
    if (const ModInstrument* ins = n.instrument) {
        const int32_t variation = RandomWithin(p, std::clamp(ins->randomVolume, 0, 100));
        level *= static_cast<float>(std::clamp(ins->globalVolume, 0, 128)) / 128.0f *
                 std::clamp(1.0f + static_cast<float>(variation) / 100.0f, 0.0f, 2.0f);
    }
    return level;
}

// The channel takes a default panning, the instrument's and then the
// sample's, as IT writes it into the channel.
void TakeDefaultPanning(Player& p, int c, const ITNote& n, const ModSample& s) {
    if (n.instrument && n.instrument->setsPanning) p.pan[c] = 1.0f - PanUnits(n.instrument->panning) / kPanUnits;
    if (s.setsPanning) p.pan[c] = 1.0f - PanUnits(s.panning) / kPanUnits;
}

// What the mixing volume is divided by: 64, or where the level falls with
// the channels, a share that grows with every two of them.
float MixingShare(const Mod& song) {
    constexpr uint8_t kShareByChannelPairs[16] = {96, 96, 96, 112, 128, 136, 144, 152,
                                                  160, 164, 168, 172, 176, 180, 184, 188};
    if (!song.behaviour.levelFallsWithChannels) return 64.0f;
    return kShareByChannelPairs[std::clamp(song.nbChannels / 2, 0, 15)];
}

}  // namespace

const ModInstrument* ITInstrumentOf(const Mod& song, const Voice& v) {
    if (!song.behaviour.instruments || v.instrument < 1 || v.instrument > kMaxInstruments ||
        v.instrument > song.nbInstruments)
        return nullptr;
    return &song.instruments[v.instrument];
}

ITNote ITNoteOf(const Mod& song, int32_t number, int32_t note) {
    ITNote n;
    n.note = std::clamp(note, 0, kITNotes - 1);
    if (!song.behaviour.instruments) {
        n.slot = number >= 1 && number < kSampleSlots ? number : 0;
        return n;
    }
    if (number < 1 || number > kMaxInstruments || number > song.nbInstruments) return n;
    n.instrument = &song.instruments[number];
    n.slot = std::clamp(n.instrument->noteSample[n.note], 0, kSampleSlots - 1);
    n.note = std::clamp(n.instrument->noteMap[n.note], 0, kITNotes - 1);
    return n;
}

int32_t ITNotePeriod(const Mod& song, int32_t note, int32_t slot) {
    if (song.linearFreq) return ITLinearPeriod(note);
    return ITAmigaPeriod(note, slot >= 1 && slot < kSampleSlots ? song.samples[slot].c2spd : kS3MMiddleCRate);
}

void StartITNote(Player& p, int c, const ITNote& n, bool defaults) {
    Voice& v = p.Voices[c];
    const ModSample& s = p.SONG.samples[n.slot];
    if (defaults) {
        v.volume = s.volume;
        TakeDefaultPanning(p, c, n, s);
    }
    const ModInstrument* ins = n.instrument;
    // An envelope that carries goes on from where the channel's last note
    // of the instrument left it.
    const bool sameInstrument = ins && v.instrument >= 1 && ITInstrumentOf(p.SONG, v) == ins;
    if (!(sameInstrument && (ins->volType & kEnvelopeCarry))) v.volenvpos = 0;
    if (!(sameInstrument && (ins->panType & kEnvelopeCarry))) v.panenvpos = 0;
    if (!(sameInstrument && (ins->pitchType & kEnvelopeCarry))) v.pitchenvpos = 0;
    v.fadevolume = kFullFade;
    v.fadestep = ins ? std::clamp(ins->fadeout, 0, kFullFade) : 0;
    v.fading = 0;
    v.keyoff = 0;
    v.autovibpos = v.autovibticks = 0;
    v.envelopesoff = v.envelopeson = 0;
    v.filterEnvelope = 0;
    // The instrument's filter settings, where it has them, become the channel's.
    if (ins && ins->filterCutoff >= 0) v.cutoff = std::min(ins->filterCutoff, 127);
    if (ins && ins->filterResonance >= 0) v.resonance = std::min(ins->filterResonance, 127);
    v.newnoteaction = static_cast<uint8_t>(ins ? ins->newNoteAction : NewNoteAction::Cut);
    v.notelevel = NoteLevel(p, n, s);
    v.panning = NotePanning(p, c, n);
    v.startedAt = ++p.notesStarted;
}

void ITNoteOff(Voice& v, const Mod& song) {
    v.keyoff = 1;
    const ModInstrument* ins = ITInstrumentOf(song, v);
    if (!ins || !ITVolumeEnvelopeOn(v, *ins) || ITVolumeEnvelopeLoops(*ins)) v.fading = 1;
}

ITSound ITSoundOf(const Player& p, Voice& v, const ModSample& s, int32_t period, int32_t tremolo) {
    const Mod& song = p.SONG;
    ITEnvelopeValues env;
    if (const ModInstrument* ins = ITInstrumentOf(song, v)) env = ITEnvelopesOf(v, *ins);
    v.filterEnvelope = static_cast<int32_t>(env.filter);
    const float volume = static_cast<float>(std::clamp(v.volume + tremolo, 0, 64)) / 64.0f;
    // The song's global volume runs 0..128; its mixing volume scales the
    // whole song as the tracker's sample amplification does.
    const float global = static_cast<float>(std::clamp(p.globalVolume, 0, 128)) / 128.0f;
    const float mixing = static_cast<float>(std::clamp(song.itMixVolume, 0, 128)) / MixingShare(song);
    ITSound out;
    out.gain = volume * env.volume / 64.0f * static_cast<float>(v.fadevolume) / kFullFade * global * v.notelevel * mixing;
    // The panning envelope moves the note as far as the side it moves to allows.
    float pan = PanUnits(v.panning);
    pan += env.panning * (kPanUnits / 2 - std::fabs(pan - kPanUnits / 2)) / 32.0f;
    out.pan = 1.0f - std::clamp(pan, 0.0f, kPanUnits) / kPanUnits;
    const double rate = song.linearFreq ? ITLinearRate(period, s.c2spd)
                                        : SampleRateOfPeriod(period, PeriodSystem::IT);
    // The pitch envelope's unit is half a semitone.
    out.rate = env.pitch == 0.0f ? rate : rate * std::exp2(static_cast<double>(env.pitch) / 24.0);
    return out;
}

int32_t RandomWithin(Player& p, int32_t range) {
    if (range <= 0) return 0;
    // xorshift32: cheap, and the same sequence from the same seed.
    uint32_t x = p.randomState;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    p.randomState = x;
    return static_cast<int32_t>(x % static_cast<uint32_t>(2 * range + 1)) - range;
}

}  // namespace moddeck
