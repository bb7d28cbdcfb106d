#include "support/song_builder.h"

#include <algorithm>
#include <cstring>

#include "engine/mixer.h"
#include "engine/replay.h"
#include "engine/sequencer.h"
#include "loaders/commands.h"
#include "loaders/loaders.h"

namespace moddeck::test {

SongBuilder::SongBuilder(FileFormat kind, int channels, int patterns, int rows) : kind_(kind), song_(new Mod()) {
    Mod& s = *song_;
    s.isXM = kind == FileFormat::XM;
    s.isS3M = kind == FileFormat::S3M;
    s.isIT = kind == FileFormat::IT;
    s.itGlobalVolume = 128;
    for (int c = 0; c < kMaxChannels; c++) s.channelVolume[c] = 64;
    s.behaviour = BehaviourOf(kind);
    s.nbChannels = channels;
    s.nbPatterns = patterns;
    s.patterns = new ModPattern[patterns]();
    for (int p = 0; p < patterns; p++) {
        s.patterns[p].nbRows = rows;
        if (rows <= 0) continue;
        for (int c = 0; c < std::min(channels, kMaxChannels); c++) {
            s.patterns[p].tracks[c] = new ModCell[rows];
            for (int r = 0; r < rows; r++)
                s.patterns[p].tracks[c][r] = ModCell{-1, 0, 0, VolumeEffect::None, 0, Effect::None, 0};
        }
    }
    s.songLength = patterns;
    for (int p = 0; p < patterns; p++) s.orders[p] = p;
    s.speed = 6;
    s.bpm = 125;
    for (int c = 0; c < kMaxChannels; c++) s.channelPan[c] = (c & 1) ? 0.8f : 0.2f;
    std::strcpy(s.title, "built song");
}

SongBuilder::~SongBuilder() { FreeModSong(song_); }

ModCell& SongBuilder::Cell(int pattern, int row, int channel) {
    return song_->patterns[pattern].tracks[channel][row];
}

ModCell& SongBuilder::Put(int pattern, int row, int channel, int note, int instrument, int effect, int param) {
    ModCell& cell = Cell(pattern, row, channel);
    cell.note = static_cast<int16_t>(note);
    cell.instrument = static_cast<uint8_t>(instrument);
    if (kind_ == FileFormat::IT)
        TranslateITCommand(static_cast<uint8_t>(effect), static_cast<uint8_t>(param), cell);
    else if (kind_ == FileFormat::S3M)
        TranslateS3MCommand(static_cast<uint8_t>(effect), static_cast<uint8_t>(param), cell);
    else
        TranslateTrackerCommand(static_cast<uint8_t>(effect), static_cast<uint8_t>(param), kind_ == FileFormat::XM, cell);
    return cell;
}

void SongBuilder::PutVolume(ModCell& cell, int byte) {
    if (kind_ == FileFormat::XM) TranslateXMVolumeColumn(static_cast<uint8_t>(byte), cell);
    if (kind_ == FileFormat::S3M) TranslateS3MVolume(static_cast<uint8_t>(byte), cell);
    if (kind_ == FileFormat::IT) TranslateITVolumeColumn(static_cast<uint8_t>(byte), cell);
}

void SongBuilder::SetOrders(std::initializer_list<int> orders) {
    int n = 0;
    for (int o : orders) song_->orders[n++] = o;
    song_->songLength = n;
}

ModSample& SongBuilder::AddSample(int slot, const std::vector<int16_t>& frames, int volume) {
    ModSample& s = song_->samples[slot];
    int guard = kind_ == FileFormat::MOD ? 10 : 0;
    s.length = static_cast<int32_t>(frames.size());
    s.data = new int16_t[frames.size() + guard]();
    std::copy(frames.begin(), frames.end(), s.data);
    s.volume = volume;
    std::snprintf(s.name, sizeof s.name, "sample %d", slot);
    if (kind_ == FileFormat::S3M) song_->nbInstruments = std::max(song_->nbInstruments, slot);
    return s;
}

ModInstrument& SongBuilder::AddInstrument(int number, const std::vector<int16_t>& frames, int volume) {
    ModInstrument& ins = song_->instruments[number];
    ins.nbSamples = 1;
    ins.samples = new ModSample[1]();
    ModSample& s = ins.samples[0];
    s.length = static_cast<int32_t>(frames.size());
    s.data = new int16_t[frames.size()]();
    std::copy(frames.begin(), frames.end(), s.data);
    s.volume = volume;
    s.panning = 128;
    song_->nbInstruments = std::max(song_->nbInstruments, number);
    return ins;
}

ModSample& SongBuilder::InstrumentSample(int number, int sample) {
    return song_->instruments[number].samples[sample];
}

std::vector<int16_t> Constant(int length, int16_t value) { return std::vector<int16_t>(length, value); }

std::vector<int16_t> Ramp(int length, int from, int step) {
    std::vector<int16_t> v(length);
    for (int i = 0; i < length; i++) v[i] = static_cast<int16_t>(from + i * step);
    return v;
}

std::unique_ptr<Player> StartPlayer(const Mod& song) {
    auto player = std::make_unique<Player>(song, kReferenceRate);
    StartSubsong(*player, nullptr, 0);
    return player;
}

void PlayTicks(Player& player, int n) {
    for (int i = 0; i < n; i++) {
        TakeOrderRequests(player);
        PlayTick(player);
        SkipFrames(player, player.LEN_TICK);
    }
}

std::vector<int16_t> RenderBlocks(Player& player, int blocks) {
    std::vector<int16_t> out(static_cast<size_t>(blocks) * kBlockSamples);
    for (int b = 0; b < blocks; b++) MixNext(player, out.data() + size_t(b) * kBlockSamples, kBlockFrames);
    return out;
}

uint64_t Checksum(const std::vector<int16_t>& samples) {
    uint64_t h = 1469598103934665603ull;
    for (int16_t s : samples) {
        uint16_t u = static_cast<uint16_t>(s);
        h = (h ^ (u & 0xFF)) * 1099511628211ull;
        h = (h ^ (u >> 8)) * 1099511628211ull;
    }
    return h;
}

}  // namespace moddeck::test
