#include "engine/background_voices.h"

#include <algorithm>

#include "engine/envelopes.h"
#include "engine/mixer.h"

namespace moddeck {

namespace {

bool InBackground(const Voice& v) { return v.period != 0; }

// Whether the voice's note sounds on: a sample, a period, a fade not over,
// a volume (nothing brings back the volume of a note in the background).
bool Sounds(const Player& p, const Voice& v) { return VoiceSample(p.SONG, v) && v.fadevolume > 0 && v.volume > 0; }

void Free(Player& p, int b) {
    p.Voices[b].period = 0;
}

// What a new-note or duplicate action does to a voice.
void Apply(Player& p, int index, NewNoteAction action) {
    Voice& v = p.Voices[index];
    switch (action) {
        case NewNoteAction::Cut: Free(p, index); break;
        case NewNoteAction::Continue: break;
        case NewNoteAction::NoteOff: ITNoteOff(v, p.SONG); break;
        case NewNoteAction::Fade: v.fading = 1; break;
    }
}

NewNoteAction ActionOf(DuplicateAction action) {
    switch (action) {
        case DuplicateAction::NoteOff: return NewNoteAction::NoteOff;
        case DuplicateAction::Fade: return NewNoteAction::Fade;
        case DuplicateAction::Cut: break;
    }
    return NewNoteAction::Cut;
}

// Whether voice v's note counts as the same as the new note n of
// instrument `number` under n's duplicate check.
bool IsDuplicate(const Voice& v, const ITNote& n, int32_t number) {
    if (!n.instrument || v.instrument != number) return false;
    switch (n.instrument->duplicateCheck) {
        case DuplicateCheck::Note: return v.note == n.note;
        case DuplicateCheck::Sample: return v.samplenum == n.slot;
        case DuplicateCheck::Instrument: return true;
        case DuplicateCheck::Off: break;
    }
    return false;
}

// A background voice to take: a free one, else the quietest as last mixed
// (the oldest of equals), which is dropped.
int TakeBackgroundVoice(const Player& p) {
    int chosen = kMaxChannels;
    for (int b = kMaxChannels; b < kMaxVoices; b++) {
        if (!InBackground(p.Voices[b])) return b;
        const float gain = p.mix[b].gain, chosenGain = p.mix[chosen].gain;
        if (gain < chosenGain || (gain == chosenGain && p.Voices[b].startedAt - p.Voices[chosen].startedAt > 0x80000000u))
            chosen = b;
    }
    return chosen;
}

// Channel c's note moves to background voice b, mixing on as it did; the
// channel's voice is left silent for its new note.
void SendToBackground(Player& p, int c, int b) {
    p.Voices[b] = p.Voices[c];
    Voice& v = p.Voices[b];
    v.channel = c;
    v.loopstart = v.loopcount = 0;
    v.cuttick = -1;
    v.delaytick = 0;
    p.mix[b] = p.mix[c];
    p.ramps[b] = p.ramps[c];
    p.tails[b] = VoiceTail{};
    p.mixedTo[b] = p.mixedTo[c];
    p.mix[c].sample = nullptr;
    p.ramps[c] = Ramp{};
}

}  // namespace

void MakeRoomForNote(Player& p, int c, const ITNote& n) {
    Voice& v = p.Voices[c];
    const int32_t number = n.instrument ? static_cast<int32_t>(n.instrument - p.SONG.instruments) : 0;
    if (n.instrument && n.instrument->duplicateCheck != DuplicateCheck::Off) {
        const NewNoteAction action = ActionOf(n.instrument->duplicateAction);
        for (int b = kMaxChannels; b < kMaxVoices; b++)
            if (InBackground(p.Voices[b]) && p.Voices[b].channel == c && IsDuplicate(p.Voices[b], n, number))
                Apply(p, b, action);
    }
    // A note at nothing (cut by SCx, faded out) or not heard (a note delay's wait) is let go.
    if (!Sounds(p, v) || !p.mix[c].sample) return;
    NewNoteAction action = static_cast<NewNoteAction>(std::min<int>(v.newnoteaction, 3));
    if (IsDuplicate(v, n, number)) action = ActionOf(n.instrument->duplicateAction);
    if (action == NewNoteAction::Cut) return;
    const int b = TakeBackgroundVoice(p);
    SendToBackground(p, c, b);
    Apply(p, b, action);
}

void PlayBackgroundVoices(Player& p) {
    if (!p.SONG.behaviour.newNoteActions) return;
    for (int b = kMaxChannels; b < kMaxVoices; b++) {
        Voice& v = p.Voices[b];
        if (!InBackground(v)) {
            if (p.mix[b].sample) PrepareVoiceTick(p, b, 0, 0);  // heard last tick: now silent
            continue;
        }
        if (const ModInstrument* ins = ITInstrumentOf(p.SONG, v)) AdvanceITEnvelopes(v, *ins);
        if (!Sounds(p, v)) {
            Free(p, b);
            PrepareVoiceTick(p, b, 0, 0);
            continue;
        }
        PrepareVoiceTick(p, b, v.period + AutoVibratoOffset(v, p.SONG), 0);
    }
}

void InstrumentControl(Player& p, int c, int32_t x) {
    Voice& v = p.Voices[c];
    if (x <= 2) {
        const NewNoteAction action = x == 0 ? NewNoteAction::Cut : x == 1 ? NewNoteAction::NoteOff : NewNoteAction::Fade;
        for (int b = kMaxChannels; b < kMaxVoices; b++)
            if (InBackground(p.Voices[b]) && p.Voices[b].channel == c) Apply(p, b, action);
    } else if (x <= 6) {
        v.newnoteaction = static_cast<uint8_t>(x - 3);
    } else if (x <= 12) {
        const uint8_t which = static_cast<uint8_t>(1 << ((x - 7) / 2));
        const bool on = (x - 7) % 2 == 1;
        v.envelopeson = static_cast<uint8_t>(on ? v.envelopeson | which : v.envelopeson & ~which);
        v.envelopesoff = static_cast<uint8_t>(on ? v.envelopesoff & ~which : v.envelopesoff | which);
    }
}

void ClearBackgroundVoices(Player& p) {
    for (int b = kMaxChannels; b < kMaxVoices; b++) {
        p.Voices[b].period = 0;
        p.mix[b].sample = nullptr;
        p.tails[b].mix.sample = nullptr;
        p.ramps[b] = Ramp{};
    }
}

}  // namespace moddeck
