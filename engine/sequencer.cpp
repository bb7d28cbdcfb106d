#include "engine/sequencer.h"

#include <algorithm>
#include <cstring>

#include "engine/envelopes.h"
#include "engine/meters.h"
#include "engine/player.h"
#include "engine/periods.h"

namespace moddeck {

namespace {

constexpr float kDefaultPan[4] = {0.5f, 0.35f, 0.65f, 0.5f};
constexpr int32_t kKeyOff = 97;
constexpr int32_t kClassicRows = 64;  // MOD and S3M patterns end after row 63


bool NamesPattern(const Mod& song, int32_t pos) {
    if (pos < 0 || pos >= kMaxOrders || !song.patterns) return false;
    int32_t p = song.orders[pos];
    return p >= 0 && p < song.nbPatterns;
}

const ModPattern* PatternAt(const Mod& song, int32_t pos) {
    return NamesPattern(song, pos) ? &song.patterns[song.orders[pos]] : nullptr;
}

// Where a row counts as past the pattern's end.
int32_t RowsAt(const Mod& song, FileFormat kind, int32_t pos) {
    if (kind != FileFormat::XM) return kClassicRows;
    const ModPattern* p = PatternAt(song, pos);
    return p ? p->nbRows : kClassicRows;
}

RowValues ReadCell(const ModPattern* pattern, int32_t raw, int c, FileFormat kind) {
    RowValues row;
    if (kind == FileFormat::S3M) {
        row.volume = 255;
        row.effect = kNoEffect;
    }
    // Rows past the pattern's end and channels without a track read empty.
    if (!pattern || raw < 0 || raw >= pattern->nbRows || !pattern->tracks[c]) return row;
    const ModCell& cell = pattern->tracks[c][raw];
    row.note = cell.note < 0 ? -1 : cell.note;
    row.instrument = cell.instrument;
    row.param = cell.param;
    switch (kind) {
        case FileFormat::XM:
            row.volume = cell.volume;
            row.effect = cell.effect;
            // Above key off there is no note to play.
            if (row.note > kKeyOff) row.note = -1;
            break;
        case FileFormat::S3M:
            row.volume = cell.volume;
            row.effect = S3MEffect(cell.effect);
            if (row.note > kNotes - 1) {
                row.note = -1;
                row.noteCut = true;
            }
            break;
        default: row.effect = cell.effect; break;
    }
    return row;
}

void ReadRow(const Player& p, const Mod& song, FileFormat kind, int32_t pos, int nv, RowValues* rows) {
    const ModPattern* pattern = PatternAt(song, pos);
    for (int c = 0; c < nv; c++) rows[c] = ReadCell(pattern, p.raw, c, kind);
}

// MOD and S3M: cell instruments name sample slots of the song.
void TriggerClassic(const Mod& song, FileFormat kind, Voice& v, const RowValues& row, int32_t patterndelay) {
    const bool hasNote = row.note != -1, hasIns = row.instrument != 0;
    const int32_t effect = row.effect, param = row.param;
    const bool mod = kind == FileFormat::MOD;
    if (!hasNote && !hasIns) {
        if (effect == kTonePortaVolSlide && (mod || param != 0)) v.volslide = SlideOf(param);
        if (effect == kTonePorta && param != 0) v.portaspeed = param;
        if (effect == kSampleOffset) v.position = param * 256;
        return;
    }
    if (mod) v.volslide = 0;
    const bool porta = effect == kTonePorta || effect == kTonePortaVolSlide;
    if (!porta && patterndelay == 0) v.position = 0;
    if (effect == kSampleOffset) v.position = param * 256;
    v.vibdepth = v.vibspeed = v.vibpos = 0;
    if (v.instrument < 1 || v.instrument >= kSampleSlots) return;
    const ModSample& s = song.samples[v.instrument];
    if (hasIns && effect != kTonePortaVolSlide && effect != kVibratoVolSlide && patterndelay == 0) v.volume = s.volume;
    if (mod && effect == kSetVolume) v.volume = param;

    // An instrument alone restarts the sample at the channel's last note.
    v.finetune = s.finetune + 8;
    int32_t note = hasNote ? row.note : v.note;
    v.note = note;
    int32_t period = PeriodAt(kind == FileFormat::MOD ? Periods : PeriodsS3M, v.finetune, note);
    if (effect == kTonePorta) {
        v.portatarget = period;
        if (param != 0) v.portaspeed = param;
    } else if (effect == kTonePortaVolSlide) {
        v.portatarget = period;
        v.volslide = SlideOf(param);
    } else {
        v.period = period;
    }
}

// XM: cell instruments name instruments, whose note map picks the sample.
void TriggerXM(const Mod& song, Voice& v, const RowValues& row, int32_t patterndelay) {
    const int32_t effect = row.effect, param = row.param;
    if (row.note == -1) {
        if (effect == kTonePortaVolSlide) v.volslide = SlideOf(param);
        if (effect == kTonePorta && param != 0) v.portaspeed = param;
        if (effect == kSampleOffset) v.position = param * 256;
        return;
    }
    const bool porta = effect == kTonePorta || effect == kTonePortaVolSlide;
    v.fadevolume = 65536;
    v.volenvpos = 0;
    v.panenvpos = 0;
    v.volslide = 0;
    if (row.instrument != 0) v.instrument = row.instrument;
    if (!porta && patterndelay == 0) v.position = 0;
    if (effect == kSampleOffset) v.position = param * 256;

    // Instruments past the song, or without samples, play nothing; so does
    // a note whose map entry names a sample the instrument does not have.
    const ModInstrument* ins = nullptr;
    if (v.instrument >= 1 && v.instrument <= kMaxInstruments && v.instrument <= song.nbInstruments &&
        song.instruments[v.instrument].nbSamples > 0 && song.instruments[v.instrument].samples)
        ins = &song.instruments[v.instrument];
    const int32_t mapped = ins ? ins->noteSample[std::clamp(row.note, 0, kNoteMapSize - 1)] : -1;
    const ModSample* s = ins && mapped >= 0 && mapped < ins->nbSamples ? &ins->samples[mapped] : nullptr;

    if (row.instrument != 0 && s && effect != kTonePortaVolSlide && effect != kVibratoVolSlide && patterndelay == 0)
        v.volume = s->volume;
    if (effect == kSetVolume) v.volume = param;

    if (ins) {
        v.samplenum = mapped;
        if (s) {
            v.finetune = s->finetune;
            v.note = row.note + s->relativeNote;
            int32_t period = XMPeriod(v.note, v.finetune);
            if (porta) {
                v.portatarget = period;
            } else {
                v.period = period;
                v.fadestep = ins->fadeout;
            }
            if (effect == kTonePorta && param != 0) v.portaspeed = param;
            if (effect == kTonePortaVolSlide) v.volslide = SlideOf(param);
        }
    }
    if (row.note == kKeyOff) {
        v.period = 0;
        v.instrument = 0;
        v.volume = 0;
    }
}

void TriggerNote(Player& p, const Mod& song, FileFormat kind, int c, const RowValues& row) {
    Voice& v = p.Voices[c];
    if (kind == FileFormat::XM) {
        TriggerXM(song, v, row, p.patterndelay);
        return;
    }
    if (row.instrument != 0) v.instrument = row.instrument;
    TriggerClassic(song, kind, v, row, p.patterndelay);
    if (row.noteCut) v.cuttick = 0;
}

// The first channel (lowest index) carrying the effect, or -1.
int FirstWith(const RowValues* rows, int nv, int32_t effect) {
    for (int c = 0; c < nv; c++)
        if (rows[c].effect == effect) return c;
    return -1;
}

// End of a row: pattern delay, then jump, break or the next row, then the
// next pattern and the song's end. Works on the local position `pos`.
void EndRow(Player& p, const Mod& song, FileFormat kind, const RowValues* rows, int nv, int32_t& pos) {
    if (p.patterndelay > 0) {
        p.ticks = 0;
        p.patterndelay--;
        if (p.patterndelay != 0) return;
    }
    const int jump = FirstWith(rows, nv, kPositionJump);
    const int brk = FirstWith(rows, nv, kPatternBreak);
    if (jump >= 0) {
        p.raw = 0;
        p.raw_jump = 0;
        pos = rows[jump].param;
        p.ticks = 0;
        if (kind == FileFormat::S3M) {
            int32_t found = PlayablePosition(p, song, pos);
            pos = found < 0 ? 0 : found;
        }
        if (brk >= 0) p.raw = rows[brk].param;
    } else if (brk >= 0) {
        p.raw = rows[brk].param;
        pos += 1;
        p.ticks = 0;
        if (kind == FileFormat::S3M) {
            // A break onto a marker entry ends the song.
            if (pos < PlayedOrders(song) && !NamesPattern(song, pos)) {
                pos = 0;
                p.new_song = 1;
            }
        } else {
            p.raw_jump = 0;
        }
    } else {
        p.raw += 1;
        p.ticks = 0;
    }
    if (p.raw >= RowsAt(song, kind, pos)) {
        pos += 1;
        p.raw_jump = 0;
        p.raw = 0;
    }
    // Past the last entry the song ends. So does a jump out of the order
    // table; an entry that names no pattern (an S3M marker, or a number past
    // the song's patterns) is passed over to the next one that does.
    if (pos < 0 || pos >= PlayedOrders(song)) {
        pos = 0;
        p.new_song = 1;
    } else if (!NamesPattern(song, pos)) {
        int32_t found = PlayablePosition(p, song, pos);
        pos = found < 0 ? 0 : found;
    }
}

}  // namespace

void PlayTick(Player& p) {
    if (!p.SONG) return;
    Mod& song = *p.SONG;
    const FileFormat kind = FormatOf(song);
    p.NVoices = std::clamp(song.nbChannels, 0, kMaxChannels);
    const int nv = p.NVoices;

    // `pattern` is written by this thread only; the keys' steps arrive
    // through orderSteps and are taken here, once per tick. A position
    // outside the song counts as the song's end.
    int32_t pos = p.pattern.load(std::memory_order_relaxed);
    if (const int32_t steps = p.orderSteps.exchange(0, std::memory_order_relaxed); steps != 0) {
        pos = static_cast<int32_t>(std::clamp<int64_t>(int64_t{pos} + steps, 0, PlayedOrders(song) - 1));
        // A move starts the entry from its first row, with no loop or delay
        // of the row it left.
        p.raw = 0;
        p.ticks = 0;
        p.looppattern = p.raw_jump = p.patterndelay = 0;
    }
    if (pos < 0) pos = 0;
    if (pos >= PlayedOrders(song)) {
        pos = 0;
        p.new_song = 1;
    }
    pos = PlayablePosition(p, song, pos);
    const int32_t readPos = pos;  // -1: nothing to play, the rows run empty
    if (pos < 0) pos = 0;

    RowValues rows[kMaxChannels];
    ReadRow(p, song, kind, readPos, nv, rows);
    if (kind == FileFormat::XM) song.linearFreq = 0;

    if (p.ticks == 0) {
        for (int c = 0; c < nv; c++) {
            Voice& v = p.Voices[c];
            v.delaytick = 0;
            v.cuttick = -1;
            if (kind != FileFormat::S3M) v.volslide = v.finevolslide = 0;
        }
        for (int c = 0; c < nv; c++)
            if (ApplyRowEffect(p, song, kind, c, rows[c])) ReadRow(p, song, kind, readPos, nv, rows);
    }

    for (int c = 0; c < nv; c++) {
        Voice& v = p.Voices[c];
        if (kind == FileFormat::XM) {
            AdvanceEnvelopes(v);
            if (p.ticks == 0) FadeAtRowStart(v);
        }
        if (p.ticks == 0) TriggerNote(p, song, kind, c, rows[c]);
        TickOutput out = ApplyTickEffects(p, song, kind, c, rows[c]);
        RenderVoiceTick(p, song, kind, c, out.period, out.tremolo);
    }

    p.ticks += 1;
    if (p.ticks >= Speed(p)) EndRow(p, song, kind, rows, nv, pos);
    p.pattern.store(pos, std::memory_order_relaxed);
}

namespace {

void StartNextSong(Player& p) {
    Mod* next = p.SONG;
    int32_t n = p.Liste_mods_n;
    if (p.PLAYER_PARAMS.load(std::memory_order_relaxed) == 0 && p.Liste_mods_nm > 0) {
        n = p.Liste_mods_n + 1;
        if (n >= p.Liste_mods_nm || n >= kMaxSongs || n < 0) n = 0;
        if (p.Liste_mods[n]) next = p.Liste_mods[n];
    }
    ResetForSongStart(p, *next);
    if (next != p.SONG || n != p.Liste_mods_n) {
        p.Liste_mods_n = n;
        p.SONG = next;
    }
    p.pattern.store(0, std::memory_order_relaxed);
    p.raw = 0;
    p.ticks = 0;
    p.new_song = 0;
    ApplySongSpeedAndTempo(p, *p.SONG);
}

}  // namespace

int32_t PlayedOrders(const Mod& song) { return std::clamp(song.songLength, 1, kMaxOrders); }

int32_t PlayablePosition(Player& pl, const Mod& song, int32_t pos) {
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

void RequestOrderStep(Player& p, int32_t delta) { p.orderSteps.fetch_add(delta, std::memory_order_relaxed); }

void SetTempo(Player& p, int32_t bpm) {
    if (bpm <= 0) bpm = 125;
    if (bpm > 65535) bpm = 65535;
    p.frequencegenerale = static_cast<float>(2 * bpm) * 0.2;
    p.LEN_TICK = static_cast<int32_t>(220500.0 / static_cast<float>(2 * bpm));
}

void ResetForSongStart(Player& p, Mod& song) {
    p.frequencegenerale = 50.0f;
    p.LEN_TICK = 882;
    for (int k = 0; k < kMaxChannels; k++) {
        p.pan[k] = song.isS3M ? song.channelPan[k] : kDefaultPan[k % 4];
        Voice& v = p.Voices[k];
        v.period = 0;
        v.instrument = 0;
        v.position = 0.0f;
        v.cuttick = -1;
        v.delaytick = -1;
        v.fineportadown = v.fineportaup = 0;
        v.xfineportadown = v.xfineportaup = 0;
    }
    song.globalVolume = 64;
    Speed(p) = 6;
}

void ApplySongSpeedAndTempo(Player& p, const Mod& song) {
    if (song.isXM == 1 || song.isS3M == 1) {
        Speed(p) = song.speed;
        SetTempo(p, song.bpm);
    }
}

void MixNext(Player& p) {
    bool ready = p.SONG && p.PLAYER_ON.load(std::memory_order_relaxed) == 1;
    for (int c = 0; ready && c < kMaxChannels; c++) ready = p.ptrVoices[c] != nullptr;
    if (!ready) {
        std::memset(p.ActualBufferToBeMixed, 0, sizeof(p.ActualBufferToBeMixed));
        return;
    }
    p.NVoices = std::clamp(p.SONG->nbChannels, 0, kMaxChannels);
    const bool resetVolume = p.VOLUMEOP.load(std::memory_order_relaxed) & 1;
    bool first = true;
    while (p.base < kBlockFrames) {
        if (first && resetVolume) {
            p.MASTERVOLUME = 1.0f;
            p.VOLUMEOP.store(0, std::memory_order_relaxed);
        } else if (p.MASTERVOLUME > 1.0f) {
            p.MASTERVOLUME = 1.0f;
        }
        first = false;
        PlayTick(p);
        p.base += p.LEN_TICK;
        if (p.new_song == 1 && (p.plusieurs_mod & 1)) {
            p.songEnds.fetch_add(1, std::memory_order_relaxed);
            // Not looping: the last tick plays out and the rest is silence
            // until the shell moves on to the next file.
            if (p.silentAfterEnd.load(std::memory_order_relaxed)) p.MASTERVOLUME = 0.0f;
            StartNextSong(p);
        }
    }
    // Before the mix, which moves the next block's frames to the front.
    PublishMeters(p);
    MixVoiceBuffers(p);
}

void MixNext(unsigned) { MixNext(ProcessPlayer()); }

}  // namespace moddeck
