// Builds song records directly in code, for the engine tests: a MOD, S3M,
// XM or IT `Mod` with patterns of empty cells, samples and XM instruments, and
// starts a player over it as the library does.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "engine/player.h"
#include "song/format.h"
#include "song/song.h"

namespace moddeck::test {

class SongBuilder {
public:
    // A song of `kind` with `channels` channels and `patterns` patterns of
    // `rows` rows of empty cells, played in pattern order (0, 1, ...).
    SongBuilder(FileFormat kind, int channels, int patterns = 1, int rows = 64);
    ~SongBuilder();
    SongBuilder(const SongBuilder&) = delete;
    SongBuilder& operator=(const SongBuilder&) = delete;

    Mod& song() { return *song_; }
    ModCell& Cell(int pattern, int row, int channel);
    // Sets a cell's note, instrument and command in one go; the command is
    // the format's own (an S3M or IT letter 1 = A, a MOD or XM number), translated
    // as the loaders translate it.
    ModCell& Put(int pattern, int row, int channel, int note, int instrument, int effect = 0, int param = 0);
    // Sets a cell's volume column from the byte the format's file holds
    // there (MOD has none: the byte is dropped).
    void PutVolume(ModCell& cell, int byte);
    void SetOrders(std::initializer_list<int> orders);

    // MOD and S3M: fills sample slot `slot` (1..31 for MOD) with `frames`.
    // MOD data gets its zeroed guard frames.
    ModSample& AddSample(int slot, const std::vector<int16_t>& frames, int volume = 64);
    // XM: instrument `number` with one sample of `frames`, every note mapped to it.
    ModInstrument& AddInstrument(int number, const std::vector<int16_t>& frames, int volume = 64);
    ModSample& InstrumentSample(int number, int sample = 0);

private:
    FileFormat kind_;
    Mod* song_;
};

// Frames of a constant value, and of a ramp from `from` by `step`.
std::vector<int16_t> Constant(int length, int16_t value);
std::vector<int16_t> Ramp(int length, int from, int step);

// A player of `song` at 44,100 Hz, started as the library starts one
// (StartSubsong without a map: order 0, and again from there at its end).
// The song stays the caller's and must outlive the player.
std::unique_ptr<Player> StartPlayer(const Mod& song);

// Plays `n` ticks as the renderer sequences them (the order requests of
// other threads first), the voices moved on through each as if heard;
// nothing is mixed and the song does not restart at its end.
void PlayTicks(Player& player, int n);

// The blocks the golden checksums were taken over: 100 ms at 44,100 Hz.
constexpr int kBlockFrames = 4410;
constexpr int kBlockSamples = 2 * kBlockFrames;

// Renders `blocks` blocks through MixNext and returns them one after another.
std::vector<int16_t> RenderBlocks(Player& player, int blocks);

// A voice's 32.32 fixed-point position in frames, and back.
inline double Frames(int64_t position) { return static_cast<double>(position) / 4294967296.0; }
inline int64_t Position(double frames) { return static_cast<int64_t>(frames * 4294967296.0); }

// FNV-1a over the samples of a render, for golden checks.
uint64_t Checksum(const std::vector<int16_t>& samples);

}  // namespace moddeck::test
