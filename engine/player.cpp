#include "engine/player.h"

#include <cstdlib>

namespace moddeck {

Player::Player(const Mod& song, int32_t rate) : SONG(song), rate(rate), isa(BestMixerIsa()) {
    for (auto& gain : channelGain) gain.store(1.0f, std::memory_order_relaxed);
}

Player::~Player() {
    for (int16_t* buf : ptrVoices) std::free(buf);
}

void SetTempo(Player& p, int32_t bpm) {
    if (bpm <= 0) bpm = 125;
    if (bpm > 65535) bpm = 65535;
    p.tempo = bpm;
    p.frequencegenerale = static_cast<float>(2 * bpm) * 0.2;
    // The rate times 5 is exact in a double; the division keeps the
    // single-precision tempo of the trackers' own arithmetic.
    const int32_t frames = static_cast<int32_t>(static_cast<double>(p.rate) * 5.0 / static_cast<float>(2 * bpm));
    p.LEN_TICK = frames < 1 ? 1 : frames;
}

}  // namespace moddeck
