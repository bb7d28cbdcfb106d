#include "loaders/commands.h"

#include <algorithm>

namespace moddeck {

namespace {

void Put(ModCell& cell, Effect effect, uint8_t param) {
    cell.effect = effect;
    cell.param = param;
}

// Two decimal digits, as pattern breaks count rows: 0x12 -> 12.
uint8_t Decimal(uint8_t v) { return static_cast<uint8_t>((v >> 4) * 10 + (v & 15)); }

// MOD and XM Exy.
void TranslateExtended(uint8_t x, uint8_t y, bool xm, ModCell& cell) {
    switch (x) {
        case 0x1: Put(cell, Effect::FinePortaUp, y); break;
        case 0x2: Put(cell, Effect::FinePortaDown, y); break;
        case 0x5: Put(cell, xm ? Effect::None : Effect::SetFinetune, y); break;
        case 0x6: Put(cell, Effect::PatternLoop, y); break;
        case 0x8: Put(cell, xm ? Effect::Panning : Effect::None, static_cast<uint8_t>(y << 4)); break;
        case 0x9: Put(cell, Effect::Retrigger, y); break;
        case 0xA: Put(cell, Effect::FineVolumeUp, y); break;
        case 0xB: Put(cell, Effect::FineVolumeDown, y); break;
        case 0xC: Put(cell, Effect::NoteCut, y); break;
        case 0xD: Put(cell, Effect::NoteDelay, y); break;
        case 0xE: Put(cell, Effect::PatternDelay, y); break;
        default: Put(cell, Effect::None, 0); break;
    }
}

// MOD and XM commands 0..15 but E, and their parameters' own effects.
constexpr Effect kTrackerEffects[16] = {
    Effect::Arpeggio,         Effect::PortaUp,    Effect::PortaDown,   Effect::TonePorta,
    Effect::Vibrato,          Effect::TonePortaVolumeSlide, Effect::VibratoVolumeSlide, Effect::Tremolo,
    Effect::Panning,          Effect::SampleOffset, Effect::VolumeSlide, Effect::PositionJump,
    Effect::SetVolume,        Effect::PatternBreak, Effect::None,       Effect::SetSpeed,
};

// XM commands from G on.
Effect XMOnlyEffect(uint8_t command) {
    switch (command) {
        case kSetGlobalVolume: return Effect::SetGlobalVolume;
        case kGlobalVolumeSlide: return Effect::GlobalVolumeSlide;
        case kKeyOff: return Effect::KeyOff;
        case kEnvelopePosition: return Effect::EnvelopePosition;
        case kPanningSlide: return Effect::PanningSlide;
        case kMultiRetrigger: return Effect::MultiRetrigger;
        case kTremor: return Effect::Tremor;
        case kExtraFinePorta: return Effect::ExtraFinePorta;
        case kXMFineVibrato: return Effect::FineVibrato;
        default: return Effect::None;
    }
}

// S3M letters A..X; S and the letters whose parameter decides are
// translated on their own.
constexpr Effect kS3MEffects[25] = {
    Effect::None,
    Effect::SetSpeed, Effect::PositionJump, Effect::PatternBreak,          // A B C
    Effect::VolumeSlide, Effect::PortaDown, Effect::PortaUp,              // D E F
    Effect::TonePorta, Effect::Vibrato, Effect::Tremor,                   // G H I
    Effect::Arpeggio, Effect::VibratoVolumeSlide, Effect::TonePortaVolumeSlide,  // J K L
    Effect::None, Effect::None, Effect::SampleOffset,                     // M N O
    Effect::None, Effect::MultiRetrigger, Effect::Tremolo,                // P Q R
    Effect::None, Effect::SetTempo, Effect::FineVibrato,                  // S T U
    Effect::SetGlobalVolume, Effect::GlobalVolumeSlide,                   // V W
    Effect::ChannelPanning,                                               // X
};
constexpr uint8_t kS3MLetterA = 1, kS3MLetterC = 3, kS3MLetterS = 19, kS3MLetterT = 20, kS3MLetterV = 22;

// S3M Sxy.
Effect S3MSpecialEffect(uint8_t x) {
    switch (x) {
        case 0x8: return Effect::ChannelPanningCoarse;
        case 0xB: return Effect::PatternLoop;
        case 0xC: return Effect::NoteCut;
        case 0xD: return Effect::NoteDelay;
        case 0xE: return Effect::PatternDelay;
        default: return Effect::None;
    }
}

// IT Sxy.
void TranslateITSpecial(uint8_t x, uint8_t y, ModCell& cell) {
    switch (x) {
        case 0x3: return Put(cell, Effect::VibratoWaveform, y);
        case 0x4: return Put(cell, Effect::TremoloWaveform, y);
        case 0x5: return Put(cell, Effect::PanbrelloWaveform, y);
        case 0x6: return Put(cell, Effect::FinePatternDelay, y);
        case 0x7: return Put(cell, Effect::InstrumentControl, y);
        // S8x pans by sixteenths; S91 (surround) is heard in the centre.
        case 0x8: return Put(cell, Effect::Panning, static_cast<uint8_t>(y * 17));
        case 0x9: return Put(cell, y == 1 ? Effect::Panning : Effect::None, y == 1 ? 128 : 0);
        case 0xA: return Put(cell, Effect::HighOffset, y);
        // SC0 and SD0 act on the row's second tick, as SC1 and SD1.
        case 0xC: case 0xD: return Put(cell, S3MSpecialEffect(x), std::max(y, uint8_t{1}));
        case 0xF: return Put(cell, Effect::MacroSelect, y);
        default: return Put(cell, S3MSpecialEffect(x), y);
    }
}

// IT letters whose effect is not S3M's.
constexpr uint8_t kITLetterM = 13, kITLetterN = 14, kITLetterP = 16, kITLetterX = 24, kITLetterY = 25,
                  kITLetterZ = 26;

Effect ITOnlyEffect(uint8_t letter, uint8_t param) {
    switch (letter) {
        case kITLetterM: return param <= 64 ? Effect::ChannelVolume : Effect::None;
        case kITLetterN: return Effect::ChannelVolumeSlide;
        case kITLetterP: return Effect::ChannelPanningSlide;
        case kS3MLetterT: return param >= 0x20 ? Effect::SetTempo : Effect::TempoSlide;
        case kS3MLetterV: return param <= 128 ? Effect::SetGlobalVolume : Effect::None;
        case kITLetterX: return Effect::Panning;
        case kITLetterY: return Effect::Panbrello;
        case kITLetterZ: return Effect::Macro;
        default: return letter < 25 ? kS3MEffects[letter] : Effect::None;
    }
}

// The speeds of the volume column's tone portamento.
constexpr uint8_t kITVolumeColumnPorta[10] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};

}  // namespace

void TranslateTrackerCommand(uint8_t command, uint8_t param, bool xm, ModCell& cell) {
    if (command == kExtended) return TranslateExtended(param >> 4, param & 15, xm, cell);
    if (command >= 16) return Put(cell, xm ? XMOnlyEffect(command) : Effect::None, param);
    Effect effect = kTrackerEffects[command];
    // 000 is the empty command; a pan is XM's; F sets the tempo from 32 up.
    if (command == kArpeggio && param == 0) effect = Effect::None;
    if (command == kSetPanning && !xm) effect = Effect::None;
    if (command == kSpeedTempo && param > 31) effect = Effect::SetTempo;
    Put(cell, effect, command == kPatternBreak ? Decimal(param) : param);
}

void TranslateS3MCommand(uint8_t letter, uint8_t param, ModCell& cell) {
    if (letter == kS3MLetterS) return Put(cell, S3MSpecialEffect(param >> 4), param & 15);
    Effect effect = letter < 25 ? kS3MEffects[letter] : Effect::None;
    // A0 keeps the speed; T below 32 and V above 64 do nothing.
    if ((letter == kS3MLetterA && param == 0) || (letter == kS3MLetterT && param <= 31) ||
        (letter == kS3MLetterV && param > 64))
        effect = Effect::None;
    Put(cell, effect, letter == kS3MLetterC ? Decimal(param) : param);
}

void TranslateITCommand(uint8_t letter, uint8_t param, ModCell& cell) {
    if (letter == kS3MLetterS) return TranslateITSpecial(param >> 4, param & 15, cell);
    // A0 keeps the speed.
    Put(cell, letter == kS3MLetterA && param == 0 ? Effect::None : ITOnlyEffect(letter, param), param);
}

void TranslateITVolumeColumn(uint8_t byte, ModCell& cell) {
    struct Range {
        uint8_t first;
        VolumeEffect effect;
    };
    // Each range of ten from 65 on (volume slides by 0..9, portamento by
    // four times that, as E and F count), then panning and the rest.
    constexpr Range kRanges[] = {
        {65, VolumeEffect::FineSlideUp}, {75, VolumeEffect::FineSlideDown}, {85, VolumeEffect::SlideUp},
        {95, VolumeEffect::SlideDown},   {105, VolumeEffect::PortaDown},    {115, VolumeEffect::PortaUp},
        {125, VolumeEffect::None},       {128, VolumeEffect::Panning},      {193, VolumeEffect::TonePorta},
        {203, VolumeEffect::Vibrato},    {213, VolumeEffect::None},
    };
    const Range* range = nullptr;
    for (const Range& r : kRanges)
        if (byte >= r.first) range = &r;
    if (!range) {
        cell.volumeEffect = VolumeEffect::SetVolume;
        cell.volumeParam = byte;
        return;
    }
    const int x = byte - range->first;
    cell.volumeEffect = range->effect;
    switch (range->effect) {
        case VolumeEffect::None: cell.volumeParam = 0; break;
        case VolumeEffect::PortaDown: case VolumeEffect::PortaUp: cell.volumeParam = static_cast<uint8_t>(4 * x); break;
        case VolumeEffect::Panning: cell.volumeParam = static_cast<uint8_t>(std::min(4 * x, 255)); break;
        case VolumeEffect::TonePorta: cell.volumeParam = kITVolumeColumnPorta[x]; break;
        default: cell.volumeParam = static_cast<uint8_t>(x); break;
    }
}

void TranslateXMVolumeColumn(uint8_t byte, ModCell& cell) {
    const uint8_t x = byte & 15;
    VolumeEffect effect = VolumeEffect::None;
    uint8_t param = x;
    switch (byte >> 4) {
        case 0x1: case 0x2: case 0x3: case 0x4: case 0x5:
            // 0x10..0x50 set 0..64; past 0x50 nothing.
            if (byte <= 0x50) effect = VolumeEffect::SetVolume;
            param = static_cast<uint8_t>(byte - 0x10);
            break;
        case 0x6: effect = VolumeEffect::SlideDown; break;
        case 0x7: effect = VolumeEffect::SlideUp; break;
        case 0x8: effect = VolumeEffect::FineSlideDown; break;
        case 0x9: effect = VolumeEffect::FineSlideUp; break;
        case 0xA: effect = VolumeEffect::VibratoSpeed; break;
        case 0xB: effect = VolumeEffect::Vibrato; break;
        case 0xC: effect = VolumeEffect::Panning, param = static_cast<uint8_t>(x << 4); break;
        case 0xD: effect = VolumeEffect::PanningSlideLeft; break;
        case 0xE: effect = VolumeEffect::PanningSlideRight; break;
        case 0xF: effect = VolumeEffect::TonePorta, param = static_cast<uint8_t>(x << 4); break;
        default: break;
    }
    cell.volumeEffect = effect;
    cell.volumeParam = effect == VolumeEffect::None ? 0 : param;
}

void TranslateS3MVolume(uint8_t volume, ModCell& cell) {
    cell.volumeEffect = volume == 255 ? VolumeEffect::None : VolumeEffect::SetVolume;
    cell.volumeParam = volume == 255 ? 0 : volume;
}

Behaviour BehaviourOf(FileFormat format, uint16_t flags, uint16_t tracker) {
    Behaviour b;
    switch (format) {
        case FileFormat::IT:
            b.periods = PeriodSystem::IT;
            b.noteColumn = NoteColumn::OffCutFade;
            b.songSetsSpeedAndTempo = true;
            b.songSetsChannelPans = true;
            // Header flag 4: cells name instruments; else samples, as S3M's do.
            b.instruments = flags & kITInstrumentMode;
            b.instrumentsShareSamples = true;
            b.newNoteActions = b.instruments;
            b.globalVolumesOf128 = true;
            b.oldEffects = flags & kITOldEffects;
            b.compatibleGxx = flags & kITCompatibleGxx;
            b.levelFallsWithChannels = tracker == kITSavedByModPlug;
            b.fineSlidesInParameter = true;
            b.slidesRemember = true;
            b.samplesNameTheirLoop = true;
            b.orderMarkers = true;
            b.portaSlidesShareMemory = true;
            b.modulationEveryTick = !b.oldEffects;
            b.vibratoHalfDepth = !b.oldEffects;
            b.vibratoMovesFirst = true;
            b.tremoloEveryTickHalfDepth = true;
            b.tremorCountsFromZero = b.oldEffects;
            b.arpeggioRemembers = true;
            b.offsetPastEndRestarts = !b.oldEffects;
            b.globalVolumeSlidePerChannel = true;
            b.loopEndStartsNextLoop = true;
            break;
        case FileFormat::XM:
            b.periods = PeriodSystem::XM;
            b.songSetsSpeedAndTempo = true;
            b.noteColumn = NoteColumn::KeyOff;
            b.instruments = true;
            b.slidesRemember = true;
            b.tremorCountsFromZero = true;
            b.samplesNameTheirLoop = true;
            b.tremorWritesVolume = true;
            b.delayAloneRepeatsNote = true;
            b.laterJumpCancelsBreakRow = true;
            break;
        case FileFormat::S3M:
            b.periods = PeriodSystem::S3M;
            b.volumeColumnAfterEarlyPart = true;
            b.songSetsSpeedAndTempo = true;
            b.songSetsChannelPans = true;
            b.headerSetsGlobalVolume = true;
            b.noteColumn = NoteColumn::Cut;
            b.sixtyFourRows = true;
            // Header flag 0x40 asks for fast slides; Scream Tracker 3.00 always made them.
            b.volumeSlidesOnFirstTick = (flags & 0x40) || tracker == 0x1300;
            b.fineSlidesInParameter = true;
            b.slidesRemember = true;
            b.orderMarkers = true;
            b.oneShotSoundsFramePastEnd = true;
            b.monoPlaysAtMasterVolume = true;
            break;
        default:
            b.laterJumpCancelsBreakRow = true;
            b.emptySampleAloneStopsNote = true;
            b.sixtyFourRows = true;
            b.vibratoRestsOnFirstTick = true;
            b.oneShotSoundsFramePastEnd = true;
            b.amigaModeApplies = true;
            break;
    }
    return b;
}

}  // namespace moddeck
