#include "audio/module_output.h"

namespace moddeck {

void RenderModuleBlock(moddeck_player* player, int16_t* block) {
    moddeck_render_s16(player, block, kModuleBlockFrames);
}

void ModuleOutput::Render(void* self) { static_cast<ModuleOutput*>(self)->RenderNext(); }

bool ModuleOutput::Take(void* self) { return static_cast<ModuleOutput*>(self)->TakeRequests(); }

bool ModuleOutput::TakeRequests() {
    bool moved = false;
    // A subsong first: a seek asked with it lands within the new subsong.
    const int subsong = subsong_.exchange(-1, std::memory_order_acq_rel);
    if (subsong >= 0) moved |= moddeck_player_select_subsong(player_, subsong) != 0;
    const double seconds = seek_.exchange(-1.0, std::memory_order_acq_rel);
    if (seconds >= 0) moved |= moddeck_player_seek(player_, seconds) != 0;
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
