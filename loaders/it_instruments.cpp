#include "loaders/it_instruments.h"

#include <algorithm>

namespace moddeck {

namespace {

constexpr int kITMaxSampleSlot = 99;
constexpr int kCentreNote = 60;  // C-5, where pitch-pan separation pans nothing
constexpr int kOldEnvelopeNodes = 25;
constexpr uint8_t kOldNodesEnd = 0xFF;

// The 240-byte keyboard: for each note the note it plays and the sample
// slot it plays it with. A note off the keyboard plays itself.
void ReadKeyboard(SNDMyFILE* r, ModInstrument& ins) {
    for (int n = 0; n < kNoteMapSize; n++) {
        const int note = ReadU8(r), slot = ReadU8(r);
        ins.noteMap[n] = note < kNoteMapSize ? note : n;
        ins.noteSample[n] = slot <= kITMaxSampleSlot ? slot : 0;
    }
}

// Where one envelope of the record goes.
struct EnvelopeFields {
    EnvelopePoint* points;
    int32_t &count, &sustain, &sustainEnd, &loopStart, &loopEnd, &type;
    int minY, maxY;
};

// IT's envelope flags: on, loop, sustain loop, carry, and (pitch envelope
// only) filter.
int32_t EnvelopeTypeOf(uint8_t flags) {
    int32_t type = 0;
    if (flags & 1) type |= kEnvelopeOn;
    if (flags & 2) type |= kEnvelopeLoop;
    if (flags & 4) type |= kEnvelopeSustain;
    if (flags & 8) type |= kEnvelopeCarry;
    if (flags & 0x80) type |= kEnvelopeFilter;
    return type;
}

// A point index the envelope really has.
int32_t PointIndex(uint8_t index, int32_t count) { return std::clamp<int32_t>(index, 0, std::max(count - 1, 0)); }

// The loop and the sustain loop as points the envelope has, neither
// ending before it starts. `bytes`: loop start, loop end, sustain start,
// sustain end.
void SetLoops(const EnvelopeFields& e, const uint8_t* bytes) {
    e.loopStart = PointIndex(bytes[0], e.count);
    e.loopEnd = std::max(PointIndex(bytes[1], e.count), e.loopStart);
    e.sustain = PointIndex(bytes[2], e.count);
    e.sustainEnd = std::max(PointIndex(bytes[3], e.count), e.sustain);
}

// One 82-byte envelope: flags, count, loop and sustain-loop points, 25
// points of a signed value and a 16-bit tick, a pad byte.
void ReadEnvelope(SNDMyFILE* r, const EnvelopeFields& e) {
    e.type = EnvelopeTypeOf(ReadU8(r));
    e.count = std::min<int32_t>(ReadU8(r), kEnvelopePoints);
    uint8_t loops[4];
    ReaderRead(r, loops, sizeof loops);
    SetLoops(e, loops);
    for (int k = 0; k < kEnvelopePoints; k++) {
        const int y = static_cast<int8_t>(ReadU8(r));
        e.points[k].y = static_cast<int16_t>(std::clamp(y, e.minY, e.maxY));
        e.points[k].x = ReadU16(r);
    }
    ReaderSkip(r, 1);
}

EnvelopeFields VolumeFields(ModInstrument& ins) {
    return {ins.volEnvelope, ins.nbVolPoints, ins.volSustain, ins.volSustainEnd, ins.volLoopStart,
            ins.volLoopEnd, ins.volType, 0, 64};
}

NewNoteAction ActionOf(uint8_t v) { return v <= 3 ? static_cast<NewNoteAction>(v) : NewNoteAction::Cut; }

// The parts both layouts share: no filter unless the new layout sets one,
// full global volume, no pan of its own, pitch-pan centred on C-5.
void SetDefaults(ModInstrument& ins) {
    ins = ModInstrument{};
    ins.globalVolume = 128;
    ins.pitchPanCenter = kCentreNote;
    ins.filterCutoff = ins.filterResonance = -1;
}

void ReadNewInstrument(SNDMyFILE* r, ModInstrument& ins) {
    ins.newNoteAction = ActionOf(ReadU8(r));
    const uint8_t check = ReadU8(r), action = ReadU8(r);
    ins.duplicateCheck = check <= 3 ? static_cast<DuplicateCheck>(check) : DuplicateCheck::Off;
    ins.duplicateAction = action <= 2 ? static_cast<DuplicateAction>(action) : DuplicateAction::Cut;
    // IT's fade level 1024 falls by the fade-out each tick after a key off;
    // the record's level is 65536 and falls by twice its value.
    ins.fadeout = ReadU16(r) * 32;
    ins.pitchPanSeparation = std::clamp<int32_t>(static_cast<int8_t>(ReadU8(r)), -32, 32);
    ins.pitchPanCenter = std::min<int32_t>(ReadU8(r), kNoteMapSize - 1);
    ins.globalVolume = std::min<int32_t>(ReadU8(r), 128);
    const uint8_t pan = ReadU8(r);
    ins.setsPanning = !(pan & 0x80);
    ins.panning = std::min((pan & 0x7F) * 4, 255);
    ins.randomVolume = std::min<int32_t>(ReadU8(r), 100);
    ins.randomPanning = std::min<int32_t>(ReadU8(r), 64);
    ReaderSkip(r, 4);  // tracker version, sample count, pad
    ReaderRead(r, ins.name, sizeof ins.name);
    // Bit 7 switches the filter on; without it the channel's stays.
    const uint8_t cutoff = ReadU8(r), resonance = ReadU8(r);
    ins.filterCutoff = (cutoff & 0x80) ? cutoff & 0x7F : -1;
    ins.filterResonance = (resonance & 0x80) ? resonance & 0x7F : -1;
    ReaderSkip(r, 4);  // MIDI channel, program, bank
    ReadKeyboard(r, ins);
    ReadEnvelope(r, VolumeFields(ins));
    ReadEnvelope(r, {ins.panEnvelope, ins.nbPanPoints, ins.panSustain, ins.panSustainEnd, ins.panLoopStart,
                     ins.panLoopEnd, ins.panType, -32, 32});
    ReadEnvelope(r, {ins.pitchEnvelope, ins.nbPitchPoints, ins.pitchSustain, ins.pitchSustainEnd,
                     ins.pitchLoopStart, ins.pitchLoopEnd, ins.pitchType, -32, 32});
}

// The older layout's volume envelope: up to 25 nodes of a tick and a
// value, ended by tick 255, after a 200-byte table of the envelope drawn
// tick by tick, which the nodes describe already.
void ReadOldEnvelope(SNDMyFILE* r, ModInstrument& ins) {
    ReaderSkip(r, 200);
    ins.nbVolPoints = 0;
    for (int k = 0; k < kOldEnvelopeNodes; k++) {
        const uint8_t tick = ReadU8(r), value = ReadU8(r);
        if (tick == kOldNodesEnd || ins.nbVolPoints != k) continue;
        ins.volEnvelope[k] = {tick, static_cast<int16_t>(std::min<int>(value, 64))};
        ins.nbVolPoints = k + 1;
    }
}

void ReadOldInstrument(SNDMyFILE* r, ModInstrument& ins) {
    const uint8_t flags = ReadU8(r);
    uint8_t loops[4];
    ReaderRead(r, loops, sizeof loops);
    ReaderSkip(r, 2);
    // Here the fade level falls by twice the value each tick.
    ins.fadeout = ReadU16(r) * 64;
    ins.newNoteAction = ActionOf(ReadU8(r));
    if (ReadU8(r)) ins.duplicateCheck = DuplicateCheck::Note;
    ReaderSkip(r, 4);  // tracker version, sample count, pad
    ReaderRead(r, ins.name, sizeof ins.name);
    ReaderSkip(r, 6);
    ReadKeyboard(r, ins);
    ReadOldEnvelope(r, ins);
    ins.volType = EnvelopeTypeOf(flags & 7);
    SetLoops(VolumeFields(ins), loops);
}

}  // namespace

void ReadITInstrument(SNDMyFILE* r, ModInstrument& ins, bool newFormat) {
    SetDefaults(ins);
    ReaderSkip(r, 4 + 12 + 1);  // "IMPI", file name, pad
    if (newFormat)
        ReadNewInstrument(r, ins);
    else
        ReadOldInstrument(r, ins);
}

}  // namespace moddeck
