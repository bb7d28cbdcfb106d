#include "loaders/commands.h"

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

void TranslateITCommand(uint8_t, uint8_t, ModCell& cell) { Put(cell, Effect::None, 0); }

void TranslateITVolumeColumn(uint8_t, ModCell& cell) {
    cell.volumeEffect = VolumeEffect::None;
    cell.volumeParam = 0;
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
