#include "engine/player.h"

#include <cstdlib>

#include "engine/mixer.h"
#include "loaders/loaders.h"

namespace moddeck {

Player::Player(VoiceBuffers buffers) : isa(BestMixerIsa()) {
    if (buffers == VoiceBuffers::None) return;
    // calloc: the pages of a buffer stay untouched until a voice sounds in
    // it (the fast mixer never touches the voice buffers).
    mixed = static_cast<int16_t*>(std::calloc(1, kMixBufferBytes));
    for (int16_t*& buf : ptrVoices) buf = static_cast<int16_t*>(std::calloc(1, kVoiceBufferBytes));
}

Player::~Player() {
    FreeSongList(*this);
    std::free(mixed);
    for (int16_t* buf : ptrVoices) std::free(buf);
}

Player& ProcessPlayer() {
    static Player player;
    return player;
}

}  // namespace moddeck
