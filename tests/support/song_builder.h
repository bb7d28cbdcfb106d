// Builds song records directly in code, for the engine tests: a MOD, S3M or
// XM `Mod` with patterns of empty cells, samples and XM instruments, and
// starts it as the player does.
#pragma once

#include <cstdint>
#include <initializer_list>
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
    // Sets a cell's note, instrument and effect in one go.
    ModCell& Put(int pattern, int row, int channel, int note, int instrument, int effect = 0, int param = 0);
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

// Starts `song` on `player` as the application does after loading it:
// StartModule, then PLAYER_PARAMS and VOLUMEOP set; at its end the song
// starts again. The songs the player had loaded are released; this one
// stays the caller's (it is not put in the song list). StopSong ends
// playback and lets go of it.
void StartSong(Player& player, Mod& song);
void StopSong(Player& player);

// Renders `blocks` blocks and returns them one after another.
std::vector<int16_t> RenderBlocks(Player& player, int blocks);

// A voice's 32.32 fixed-point position in frames, and back.
inline double Frames(int64_t position) { return static_cast<double>(position) / 4294967296.0; }
inline int64_t Position(double frames) { return static_cast<int64_t>(frames * 4294967296.0); }

// FNV-1a over the samples of a render, for golden checks.
uint64_t Checksum(const std::vector<int16_t>& samples);

}  // namespace moddeck::test
