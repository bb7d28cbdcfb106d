#include "engine/sequencer.h"

#include <algorithm>
#include <cstring>

#include "engine/envelopes.h"
#include "engine/meters.h"
#include "engine/periods.h"

namespace moddeck {

namespace {

constexpr float kDefaultPan[4] = {0.5f, 0.35f, 0.65f, 0.5f};
constexpr int32_t kKeyOff = 97;
constexpr int32_t kClassicRows = 64;  // MOD and S3M patterns end after row 63

int32_t SongLength(const Mod& song) { return std::clamp(song.songLength, 0, kMaxOrders); }

bool NamesPattern(const Mod& song, int32_t pos) {
    if (pos < 0 || pos >= kMaxOrders || !song.patterns) return false;
    int32_t p = song.orders[pos];
    return p >= 0 && p < song.nbPatterns;
}

const ModPattern* PatternAt(const Mod& song, int32_t pos) {
    return NamesPattern(song, pos) ? &song.patterns[song.orders[pos]] : nullptr;
}

// Where a row counts as past the pattern's end.
int32_t RowsAt(const Mod& song, SongKind kind, int32_t pos) {
    if (kind != SongKind::XM) return kClassicRows;
    const ModPattern* p = PatternAt(song, pos);
    return p ? p->nbRows : kClassicRows;
}

RowValues ReadCell(const ModPattern* pattern, int c, SongKind kind) {
    RowValues row;
    if (kind == SongKind::S3M) {
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
        case SongKind::MOD: row.effect = cell.effect; break;
        case SongKind::XM:
            row.volume = cell.volume;
            row.effect = cell.effect;
            // Above key off there is no note to play.
            if (row.note > kKeyOff) row.note = -1;
            break;
        case SongKind::S3M:
            row.volume = cell.volume;
            row.effect = S3MEffect(cell.effect);
            if (row.note > kNotes - 1) {
                row.note = -1;
                row.noteCut = true;
            }
            break;
    }
    return row;
}

void ReadRow(const Mod& song, SongKind kind, int32_t pos, int nv, RowValues* rows) {
    const ModPattern* pattern = PatternAt(song, pos);
    for (int c = 0; c < nv; c++) rows[c] = ReadCell(pattern, c, kind);
}

// MOD and S3M: cell instruments name sample slots of the song.
void TriggerClassic(const Mod& song, SongKind kind, Voice& v, const RowValues& row) {
    const bool hasNote = row.note != -1, hasIns = row.instrument != 0;
    const int32_t effect = row.effect, param = row.param;
    const bool mod = kind == SongKind::MOD;
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
    int32_t period = PeriodAt(kind == SongKind::MOD ? Periods : PeriodsS3M, v.finetune, note);
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
void TriggerXM(const Mod& song, Voice& v, const RowValues& row) {
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

void TriggerNote(const Mod& song, SongKind kind, int c, const RowValues& row) {
    Voice& v = Voices[c];
    if (kind == SongKind::XM) {
        TriggerXM(song, v, row);
        return;
    }
    if (row.instrument != 0) v.instrument = row.instrument;
    TriggerClassic(song, kind, v, row);
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
void EndRow(const Mod& song, SongKind kind, const RowValues* rows, int nv, int32_t& pos) {
    if (patterndelay > 0) {
        ticks = 0;
        patterndelay--;
        if (patterndelay != 0) return;
    }
    const int jump = FirstWith(rows, nv, kPositionJump);
    const int brk = FirstWith(rows, nv, kPatternBreak);
    if (jump >= 0) {
        raw = 0;
        raw_jump = 0;
        pos = rows[jump].param;
        ticks = 0;
        if (kind == SongKind::S3M) {
            int32_t found = PlayablePosition(song, pos);
            pos = found < 0 ? 0 : found;
        }
        if (brk >= 0) raw = rows[brk].param;
    } else if (brk >= 0) {
        raw = rows[brk].param;
        pos += 1;
        ticks = 0;
        if (kind == SongKind::S3M) {
            // A break onto a marker entry ends the song.
            if (pos < SongLength(song) && !NamesPattern(song, pos)) {
                pos = 0;
                new_song = 1;
            }
        } else {
            raw_jump = 0;
        }
    } else {
        raw += 1;
        ticks = 0;
    }
    if (raw >= RowsAt(song, kind, pos)) {
        pos += 1;
        raw_jump = 0;
        raw = 0;
    }
    // Past the last entry the song ends. So does a jump out of the order
    // table; an entry that names no pattern (an S3M marker, or a number past
    // the song's patterns) is passed over to the next one that does.
    if (pos < 0 || pos >= SongLength(song)) {
        pos = 0;
        new_song = 1;
    } else if (!NamesPattern(song, pos)) {
        int32_t found = PlayablePosition(song, pos);
        pos = found < 0 ? 0 : found;
    }
}

}  // namespace

void PlayTick() {
    if (!SONG) return;
    Mod& song = *SONG;
    const SongKind kind = KindOf(song);
    NVoices = std::clamp(song.nbChannels, 0, kMaxChannels);
    const int nv = NVoices;

    // `pattern` is read once: the keys may move it while this tick runs. A
    // position outside the song counts as the song's end.
    const int32_t seen = pattern.load(std::memory_order_relaxed);
    int32_t pos = seen;
    if (pos < 0) pos = 0;
    if (pos >= SongLength(song)) {
        pos = 0;
        new_song = 1;
    }
    pos = PlayablePosition(song, pos);
    const int32_t readPos = pos;  // -1: nothing to play, the rows run empty
    if (pos < 0) pos = 0;

    RowValues rows[kMaxChannels];
    ReadRow(song, kind, readPos, nv, rows);
    if (kind == SongKind::XM) song.linearFreq = 0;

    if (ticks == 0) {
        for (int c = 0; c < nv; c++) {
            Voice& v = Voices[c];
            v.delaytick = 0;
            v.cuttick = -1;
            if (kind != SongKind::S3M) v.volslide = v.finevolslide = 0;
        }
        for (int c = 0; c < nv; c++)
            if (ApplyRowEffect(song, kind, c, rows[c])) ReadRow(song, kind, readPos, nv, rows);
    }

    for (int c = 0; c < nv; c++) {
        Voice& v = Voices[c];
        if (kind == SongKind::XM) {
            AdvanceEnvelopes(v);
            if (ticks == 0) FadeAtRowStart(v);
        }
        if (ticks == 0) TriggerNote(song, kind, c, rows[c]);
        TickOutput out = ApplyTickEffects(song, kind, c, rows[c]);
        RenderVoiceTick(song, kind, c, out.period, out.tremolo);
    }

    ticks += 1;
    if (ticks >= Speed()) EndRow(song, kind, rows, nv, pos);
    if (pos != seen) pattern.store(pos, std::memory_order_relaxed);
}

namespace {

void StartNextSong() {
    Mod* next = SONG;
    int32_t n = Liste_mods_n;
    if (PLAYER_PARAMS.load(std::memory_order_relaxed) == 0 && Liste_mods_nm > 0) {
        n = Liste_mods_n + 1;
        if (n >= Liste_mods_nm || n >= kMaxSongs || n < 0) n = 0;
        if (Liste_mods[n]) next = Liste_mods[n];
    }
    ResetForSongStart(*next);
    if (next != SONG || n != Liste_mods_n) {
        Liste_mods_n = n;
        SONG = next;
    }
    pattern.store(0, std::memory_order_relaxed);
    raw = 0;
    ticks = 0;
    new_song = 0;
    ApplySongSpeedAndTempo(*SONG);
}

}  // namespace

int32_t PlayablePosition(const Mod& song, int32_t pos) {
    const int32_t len = SongLength(song);
    if (pos < 0) pos = 0;
    for (int32_t p = pos; p < len; p++)
        if (NamesPattern(song, p)) return p;
    // Nothing playable up to the end: the song ends, and goes on from the
    // first entry that names a pattern, if there is one.
    for (int32_t p = 0; p < std::min(pos, len); p++)
        if (NamesPattern(song, p)) {
            new_song = 1;
            return p;
        }
    return -1;
}

void SetTempo(int32_t bpm) {
    if (bpm <= 0) bpm = 125;
    if (bpm > 65535) bpm = 65535;
    frequencegenerale = static_cast<float>(2 * bpm) * 0.2;
    LEN_TICK = static_cast<int32_t>(220500.0 / static_cast<float>(2 * bpm));
}

void ResetForSongStart(Mod& song) {
    frequencegenerale = 50.0f;
    LEN_TICK = 882;
    for (int k = 0; k < kMaxChannels; k++) {
        pan[k] = song.isS3M ? song.channelPan[k] : kDefaultPan[k % 4];
        Voice& v = Voices[k];
        v.period = 0;
        v.instrument = 0;
        v.position = 0.0f;
        v.cuttick = -1;
        v.delaytick = -1;
        v.fineportadown = v.fineportaup = 0;
        v.xfineportadown = v.xfineportaup = 0;
    }
    song.globalVolume = 64;
    Speed() = 6;
}

void ApplySongSpeedAndTempo(const Mod& song) {
    if (song.isXM == 1 || song.isS3M == 1) {
        Speed() = song.speed;
        SetTempo(song.bpm);
    }
}

void MixNext(unsigned) {
    bool ready = SONG && Saturation;
    for (int c = 0; ready && c < kMaxChannels; c++) ready = ptrVoices[c] != nullptr;
    if (!ready) {
        std::memset(ActualBufferToBeMixed, 0, sizeof(ActualBufferToBeMixed));
        return;
    }
    NVoices = std::clamp(SONG->nbChannels, 0, kMaxChannels);
    const bool resetVolume = VOLUMEOP.load(std::memory_order_relaxed) & 1;
    bool first = true;
    while (base < kBlockFrames) {
        if (first && resetVolume) {
            MASTERVOLUME = 1.0f;
            VOLUMEOP.store(0, std::memory_order_relaxed);
        } else if (MASTERVOLUME > 1.0f) {
            MASTERVOLUME = 1.0f;
        }
        first = false;
        PlayTick();
        base += LEN_TICK;
        if (new_song == 1 && (plusieurs_mod & 1)) StartNextSong();
    }
    // Before the mix, which moves the next block's frames to the front.
    PublishMeters();
    MixVoiceBuffers();
}

}  // namespace moddeck
