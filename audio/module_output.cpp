#include "audio/module_output.h"

namespace moddeck {

void RenderModuleBlock(moddeck_player* player, int16_t* block) {
    moddeck_render_s16(player, block, kModuleBlockFrames);
}

void ModuleOutput::Render(void* self) { static_cast<ModuleOutput*>(self)->RenderNext(); }

bool ModuleOutput::Take(void* self) { return static_cast<ModuleOutput*>(self)->TakeRequests(); }

namespace {

// A request stays pending until the player has moved and published where
// it is, so that whoever waits for it reads the new position; one asked
// meanwhile stays for the next turn.
template <typename T, typename Move>
bool Carry(std::atomic<T>& request, T none, Move move) {
    T wanted = request.load(std::memory_order_acquire);
    if (wanted == none) return false;
    const bool moved = move(wanted);
    request.compare_exchange_strong(wanted, none, std::memory_order_acq_rel);
    return moved;
}

}  // namespace

bool ModuleOutput::TakeRequests() {
    // A subsong first: a seek asked with it lands within the new subsong.
    bool moved = Carry(subsong_, -1, [&](int s) { return moddeck_player_select_subsong(player_, s) != 0; });
    moved |= Carry(seek_, -1.0, [&](double s) { return moddeck_player_seek(player_, s) != 0; });
    return moved;
}

bool ModuleOutput::Start(moddeck_player* player) {
    // The old thread goes before its player is replaced: it reads player_.
    thread_.Stop();
    if (!player) return false;
    player_ = player;
    seek_.store(-1.0);
    subsong_.store(-1);
    return thread_.Start({Render, this, block_, static_cast<ALsizei>(sizeof block_), kModuleRate, Take});
}

}  // namespace moddeck
