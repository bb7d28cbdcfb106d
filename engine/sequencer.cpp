#include "engine/sequencer.h"

#include <algorithm>
#include <cstring>

#include "engine/background_voices.h"
#include "engine/effects.h"
#include "engine/envelopes.h"
#include "engine/it_voices.h"
#include "engine/mixer.h"
#include "engine/periods.h"
#include "song/periods.h"

namespace moddeck {

namespace {

constexpr float kDefaultPan[4] = {0.5f, 0.35f, 0.65f, 0.5f};
constexpr int32_t kKeyOff = 97;
constexpr int32_t kXMHighestNote = 119;  // a cell note plus its sample's relative note
constexpr int32_t kClassicRows = 64;  // MOD and S3M patterns end after row 63
constexpr uint32_t kRandomSeed = 0x2545F491;  // IT's random variations, the same on every play

const ModPattern* PatternAt(const Mod& song, int32_t pos) {
    return NamesPattern(song, pos) ? &song.patterns[song.orders[pos]] : nullptr;
}

// Where a row counts as past the pattern's end.
int32_t RowsAt(const Mod& song, int32_t pos) {
    if (song.behaviour.sixtyFourRows) return kClassicRows;
    const ModPattern* p = PatternAt(song, pos);
    return p ? p->nbRows : kClassicRows;
}

RowValues ReadCell(const ModPattern* pattern, int32_t raw, int c, const Behaviour& rules) {
    RowValues row;
    // Rows past the pattern's end and channels without a track read empty.
    if (!pattern || raw < 0 || raw >= pattern->nbRows || !pattern->tracks[c]) return row;
    const ModCell& cell = pattern->tracks[c][raw];
    row.note = cell.note < 0 ? -1 : cell.note;
    row.instrument = cell.instrument;
    row.param = cell.param;
    row.effect = cell.effect;
    row.volumeEffect = cell.volumeEffect;
    row.volumeParam = cell.volumeParam;
    if (rules.noteColumn == NoteColumn::KeyOff && row.note > kKeyOff) {
        row.note = -1;  // above key off there is no note to play
    } else if (rules.noteColumn == NoteColumn::Cut && row.note > kNotes - 1) {
        row.note = -1;
        row.noteCut = true;
    }
    return row;
}

void ReadRow(const Player& p, const Mod& song, int32_t pos, int nv, RowValues* rows) {
    const ModPattern* pattern = PatternAt(song, pos);
    for (int c = 0; c < nv; c++) rows[c] = ReadCell(pattern, p.raw, c, song.behaviour);
}

// MOD and S3M: cell instruments name sample slots of the song. A note
// plays the channel's instrument, the last one named; an instrument alone
// sets its sample's volume and lets the sound go on as it is.
void TriggerClassic(const Player& p, Voice& v, const RowValues& row) {
    const Mod& song = p.SONG;
    const int32_t patterndelay = p.patterndelay;
    const bool hasNote = row.note != -1, hasIns = row.instrument != 0;
    const bool porta = IsTonePorta(row);
    if (hasIns) {
        v.lastinstrument = row.instrument;
        if (row.instrument < kSampleSlots && patterndelay == 0) v.volume = song.samples[row.instrument].volume;
        if (!hasNote && song.behaviour.emptySampleAloneStopsNote && row.instrument < kSampleSlots &&
            !song.samples[row.instrument].data)
            v.instrument = row.instrument;
    }
    if (hasNote || hasIns) NoteTakesVolume(v, row);
    if (!hasNote) return;

    v.instrument = v.lastinstrument;
    if (!porta) {
        if (patterndelay == 0) v.position = 0;
        v.vibpos = v.trempos = v.retrigcount = 0;
    }
    NoteTakesOffset(v, row);
    if (v.instrument < 1 || v.instrument >= kSampleSlots) return;
    v.finetune = p.sampleFinetune[v.instrument] + 8;
    v.note = row.note;
    const int32_t period = ClassicNotePeriod(song, v, row.note);
    if (porta)
        v.portatarget = period;
    else
        v.period = period;
}

// The XM instrument `number` when the song has it with samples; null else.
const ModInstrument* InstrumentWithSamples(const Mod& song, int32_t number) {
    if (number < 1 || number > kMaxInstruments || number > song.nbInstruments) return nullptr;
    const ModInstrument& ins = song.instruments[number];
    return ins.nbSamples > 0 && ins.samples ? &ins : nullptr;
}

// A new note (or an instrument alone) starts the instrument's envelopes,
// fade-out and vibrato from the beginning.
void RestartInstrument(Voice& v, const ModInstrument& ins) {
    v.volenvpos = v.panenvpos = 0;
    v.fadevolume = 65536;
    v.fadestep = ins.fadeout;
    v.keyoff = 0;
    v.autovibpos = v.autovibticks = 0;
}

// XM: cell instruments name instruments, whose note map picks the sample.
// An instrument alone restores the volume and panning of the sample
// playing and restarts its envelopes.
void TriggerXM(const Mod& song, Voice& v, const RowValues& row, int32_t patterndelay) {
    const bool porta = IsTonePorta(row);
    if (row.note != -1) v.lastnote = row.note;
    if (row.note == kKeyOff) {
        KeyOff(v, song);
        return;
    }
    if (row.instrument != 0) {
        v.lastinstrument = row.instrument;
        RestartTremor(v);
    }
    if (row.note == -1) {
        const ModInstrument* ins = InstrumentWithSamples(song, v.instrument);
        if (row.instrument != 0 && row.instrument == v.instrument && ins && patterndelay == 0 && v.samplenum >= 0 &&
            v.samplenum < ins->nbSamples) {
            v.volume = ins->samples[v.samplenum].volume;
            v.panning = ins->samples[v.samplenum].panning;
            RestartInstrument(v, *ins);
        }
        return;
    }

    // Instruments past the song, or without samples, play nothing; so does
    // a note whose map entry (the first for note 1) names a sample the
    // instrument does not have.
    const ModInstrument* ins = InstrumentWithSamples(song, v.lastinstrument);
    const int32_t mapped = ins ? ins->noteSample[std::clamp(row.note - 1, 0, kNoteMapSize - 1)] : -1;
    const ModSample* s = ins && mapped >= 0 && mapped < ins->nbSamples ? &ins->samples[mapped] : nullptr;
    // A note its sample's relative note takes off the table's ten octaves
    // does not play: the channel goes on as it was.
    if (s && (row.note + s->relativeNote < 0 || row.note + s->relativeNote > kXMHighestNote)) return;

    v.instrument = v.lastinstrument;
    if (!porta) {
        if (patterndelay == 0) v.position = 0;
        v.vibpos = v.trempos = v.retrigcount = 0;
    }
    NoteTakesOffset(v, row);

    if (row.instrument != 0 && s && patterndelay == 0) {
        v.volume = s->volume;
        v.panning = s->panning;
    }
    NoteTakesVolume(v, row);
    if (!ins) return;
    if (!porta || row.instrument != 0) RestartInstrument(v, *ins);
    v.samplenum = mapped;
    if (!s) return;
    v.finetune = s->finetune;
    v.note = row.note + s->relativeNote;
    const int32_t period = XMNotePeriod(song.linearFreq, v.note, v.finetune);
    if (porta)
        v.portatarget = period;
    else
        v.period = period;
}

// IT: cell numbers name instruments, whose note map picks the note and the
// song's sample slot, or in sample mode the slot itself. A new note sends
// the one playing to the background as its new-note action says; the note
// column's off lets the key go, its cut silences the note, its fade fades it.
void TriggerIT(Player& p, int c, const RowValues& row) {
    const Mod& song = p.SONG;
    Voice& v = p.Voices[c];
    if (row.note == kCellNoteOff) return ITNoteOff(v, song);
    if (row.note == kCellNoteCut) {
        v.period = 0;
        return;
    }
    if (row.note == kCellNoteFade) {
        v.fading = 1;
        return;
    }
    if (row.instrument != 0) v.lastinstrument = row.instrument;
    if (row.note < 0 || row.note >= kITNotes) {
        // A number alone brings back its sample's volume.
        const ITNote n = ITNoteOf(song, row.instrument, v.note);
        if (row.instrument != 0 && n.slot && p.patterndelay == 0) v.volume = song.samples[n.slot].volume;
        NoteTakesVolume(v, row);
        return;
    }
    const ITNote n = ITNoteOf(song, v.lastinstrument, row.note);
    if (!n.slot) return;
    const bool porta = IsTonePorta(row) && v.period != 0;
    if (!porta) {
        if (song.behaviour.newNoteActions) MakeRoomForNote(p, c, n);
        if (p.patterndelay == 0) v.position = 0;
        v.vibpos = v.trempos = v.retrigcount = 0;
    }
    NoteTakesOffset(v, row);
    if (!porta || row.instrument != 0) StartITNote(p, c, n, row.instrument != 0 && p.patterndelay == 0);
    v.instrument = n.instrument ? v.lastinstrument : n.slot;
    v.samplenum = n.slot;
    NoteTakesVolume(v, row);
    v.note = n.note;
    const int32_t period = ITNotePeriod(song, n.note, n.slot);
    if (porta)
        v.portatarget = period;
    else
        v.period = period;
}

// The row as its note plays: a key off on the row's first tick takes the
// note's place, and a note delay alone may play the last note again.
RowValues NotePlayed(const Voice& v, const RowValues& row, const Behaviour& rules) {
    RowValues played = row;
    if (row.effect == Effect::KeyOff && row.param == 0 && row.note != -1) played.note = kKeyOff;
    if (rules.delayAloneRepeatsNote && row.effect == Effect::NoteDelay && row.param > 0 && row.note == -1 &&
        v.lastnote > 0)
        played.note = v.lastnote;
    return played;
}

void TriggerNote(Player& p, int c, const RowValues& cell) {
    Voice& v = p.Voices[c];
    const RowValues row = NotePlayed(v, cell, p.SONG.behaviour);
    if (p.SONG.behaviour.instrumentsShareSamples) {
        TriggerIT(p, c, row);
        // S7x acts on the notes as the row's note has left them.
        if (row.effect == Effect::InstrumentControl) InstrumentControl(p, c, row.param);
        return;
    }
    if (p.SONG.behaviour.instruments) {
        TriggerXM(p.SONG, v, row, p.patterndelay);
        return;
    }
    TriggerClassic(p, v, row);
    if (row.noteCut) v.cuttick = 0;
}

// The first channel (lowest index) carrying the effect, or -1.
int FirstWith(const RowValues* rows, int nv, Effect effect) {
    for (int c = 0; c < nv; c++)
        if (rows[c].effect == effect) return c;
    return -1;
}

// A break's row in the pattern at order entry `pos`: past its end, row 0.
int32_t BreakRow(const Mod& song, int32_t pos, int32_t row) { return row < RowsAt(song, pos) ? row : 0; }

// End of a row: pattern delay, then jump, break or the next row, then the
// next pattern and the song's end. Works on the local position `pos`.
void EndRow(Player& p, const RowValues* rows, int nv, int32_t& pos) {
    const Mod& song = p.SONG;
    const bool markers = song.behaviour.orderMarkers;
    if (p.patterndelay > 0) {
        p.ticks = 0;
        p.patterndelay--;
        if (p.patterndelay != 0) return;
    }
    const int jump = FirstWith(rows, nv, Effect::PositionJump);
    const int brk = FirstWith(rows, nv, Effect::PatternBreak);
    if (p.raw_jump >= 0) {
        // A pattern loop plays back within the pattern, whatever else the row asks.
        p.raw = p.raw_jump;
        p.ticks = 0;
    } else if (jump >= 0) {
        p.raw = 0;
        pos = rows[jump].param;
        p.ticks = 0;
        if (markers) {
            int32_t found = PlayablePosition(p, pos);
            pos = found < 0 ? 0 : found;
        }
        if (brk >= 0 && !(song.behaviour.laterJumpCancelsBreakRow && jump > brk))
            p.raw = BreakRow(song, pos, rows[brk].param);
    } else if (brk >= 0) {
        pos += 1;
        p.ticks = 0;
        if (markers) {
            // A break onto a marker entry ends the song.
            if (pos < PlayedOrders(song) && !NamesPattern(song, pos)) {
                pos = 0;
                p.new_song = 1;
            }
        }
        p.raw = BreakRow(song, pos, rows[brk].param);
    } else {
        p.raw += 1;
        p.ticks = 0;
    }
    if (p.raw >= RowsAt(song, pos)) {
        pos += 1;
        p.raw = 0;
    }
    // Past the last entry the song ends. So does a jump out of the order
    // table; an entry that names no pattern (an S3M marker, or a number past
    // the song's patterns) is passed over to the next one that does.
    if (pos < 0 || pos >= PlayedOrders(song)) {
        pos = 0;
        p.new_song = 1;
    } else if (!NamesPattern(song, pos)) {
        int32_t found = PlayablePosition(p, pos);
        pos = found < 0 ? 0 : found;
    }
}

}  // namespace

void PlayTick(Player& p) {
    const Mod& song = p.SONG;
    p.NVoices = std::clamp(song.nbChannels, 0, kMaxChannels);
    const int nv = p.NVoices;

    // A position outside the song counts as the song's end.
    int32_t pos = p.order;
    if (pos < 0) pos = 0;
    if (pos >= PlayedOrders(song)) {
        pos = 0;
        p.new_song = 1;
    }
    pos = PlayablePosition(p, pos);
    const int32_t readPos = pos;  // -1: nothing to play, the rows run empty
    if (pos < 0) pos = 0;

    RowValues rows[kMaxChannels];
    ReadRow(p, song, readPos, nv, rows);

    if (p.ticks == 0) {
        for (int c = 0; c < nv; c++) {
            Voice& v = p.Voices[c];
            v.delaytick = 0;
            v.cuttick = -1;
        }
        p.raw_jump = -1;
        p.extraTicks = 0;
        for (int c = 0; c < nv; c++) ApplyRowEffect(p, c, rows[c]);
    }

    PlayBackgroundVoices(p);
    for (int c = 0; c < nv; c++) {
        Voice& v = p.Voices[c];
        if (song.behaviour.instrumentsShareSamples) {
            if (const ModInstrument* ins = ITInstrumentOf(song, v)) AdvanceITEnvelopes(v, *ins);
        } else if (song.behaviour.instruments) {
            if (const ModInstrument* ins = InstrumentWithSamples(song, v.instrument)) AdvanceEnvelopes(v, *ins);
        }
        if (p.ticks == NoteTick(rows[c])) {
            const int64_t playing = v.position;
            TriggerNote(p, c, rows[c]);
            // A note that moves the sample on (not a tone portamento, not
            // a pattern delay's repeat) starts the filter from silence.
            if (v.position != playing) v.noteRestartsFilter = true;
        }
        TickOutput out = ApplyTickEffects(p, c, rows[c]);
        PrepareVoiceTick(p, c, out.period, out.tremolo);
    }
    for (int c = nv; c < kMaxChannels; c++) p.mix[c].sample = nullptr;

    p.ticks += 1;
    if (p.ticks >= Speed(p) + p.extraTicks) EndRow(p, rows, nv, pos);
    p.order = pos;
}

bool NamesPattern(const Mod& song, int32_t pos) {
    if (pos < 0 || pos >= kMaxOrders || !song.patterns) return false;
    int32_t p = song.orders[pos];
    return p >= 0 && p < song.nbPatterns;
}

int32_t PlayedOrders(const Mod& song) { return std::clamp(song.songLength, 1, kMaxOrders); }

int32_t PlayablePosition(Player& pl, int32_t pos) {
    const Mod& song = pl.SONG;
    const int32_t len = PlayedOrders(song);
    if (pos < 0) pos = 0;
    for (int32_t p = pos; p < len; p++)
        if (NamesPattern(song, p)) return p;
    // Nothing playable up to the end: the song ends, and goes on from the
    // first entry that names a pattern, if there is one.
    for (int32_t p = 0; p < std::min(pos, len); p++)
        if (NamesPattern(song, p)) {
            pl.new_song = 1;
            return p;
        }
    return -1;
}

bool TakeOrderRequests(Player& p) {
    const int32_t jump = p.orderRequest.exchange(-1, std::memory_order_relaxed);
    const int32_t steps = p.orderSteps.exchange(0, std::memory_order_relaxed);
    if (jump < 0 && steps == 0) return false;
    const int64_t from = jump >= 0 ? jump : p.order;
    p.order = static_cast<int32_t>(std::clamp<int64_t>(from + steps, 0, PlayedOrders(p.SONG) - 1));
    p.raw = 0;
    p.ticks = 0;
    p.raw_jump = -1;
    p.patterndelay = 0;
    p.new_song = 0;
    for (Voice& v : p.Voices) v.loopstart = v.loopcount = 0;
    return true;
}

void ResetForSongStart(Player& p) {
    const Mod& song = p.SONG;
    SetTempo(p, 125);
    for (int k = 0; k < kMaxChannels; k++) {
        p.pan[k] = song.behaviour.songSetsChannelPans ? song.channelPan[k] : kDefaultPan[k % 4];
        Voice& v = p.Voices[k];
        v.period = 0;
        v.instrument = 0;
        v.position = 0;
        v.cuttick = -1;
        v.delaytick = -1;
        v.fineportadown = v.fineportaup = 0;
        v.xfineportadown = v.xfineportaup = 0;
        v.cutoff = 127;
        v.resonance = 0;
        v.macro = 0;
        v.filterHistory = {};
        v.channelVolume = std::clamp(song.channelVolume[k], 0, 64);
    }
    // An S3M header may set a lower global volume; 0 would silence the song
    // and is taken as none.
    const int32_t headerVolume = song.s3mHeader[0];
    p.globalVolume = song.behaviour.headerSetsGlobalVolume && headerVolume >= 1 && headerVolume <= 64 ? headerVolume : 64;
    if (song.behaviour.globalVolumesOf128) p.globalVolume = std::clamp(song.itGlobalVolume, 0, 128);
    Speed(p) = 6;
}

void ApplySongSpeedAndTempo(Player& p) {
    const Mod& song = p.SONG;
    if (song.behaviour.songSetsSpeedAndTempo) {
        Speed(p) = song.speed;
        SetTempo(p, song.bpm);
    }
}

void StartSong(Player& p, int32_t startOrder) {
    const Mod& song = p.SONG;
    p.startOrder = startOrder;
    std::memset(p.Voices, 0, sizeof p.Voices);
    std::memset(p.mix, 0, sizeof p.mix);
    ClearBackgroundVoices(p);
    p.notesStarted = 0;
    p.randomState = kRandomSeed;
    p.raw_jump = -1;
    p.patterndelay = 0;
    p.globalVolumeSlide = 0;
    ResetForSongStart(p);
    p.NVoices = std::clamp(song.nbChannels, 0, kMaxChannels);
    for (int s = 0; s < kSampleSlots; s++) p.sampleFinetune[s] = song.samples[s].finetune;
    p.orderSteps.store(0, std::memory_order_relaxed);
    p.orderRequest.store(-1, std::memory_order_relaxed);
    ApplySongSpeedAndTempo(p);
    p.new_song = 0;
    p.order = startOrder;
    p.raw = 0;
    p.ticks = 0;
    p.tickFramesLeft = 0;
    p.songTicks = 0;
    p.songFrames = 0;
    p.ended = false;
}

void RestartSong(Player& p) {
    ResetForSongStart(p);
    p.order = p.startOrder;
    p.raw = 0;
    p.ticks = 0;
    p.new_song = 0;
    ApplySongSpeedAndTempo(p);
    p.songTicks = 0;
    p.songFrames = 0;
}

}  // namespace moddeck
