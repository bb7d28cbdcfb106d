#include "audio/module_output.h"

namespace moddeck {

void RenderModuleBlock(moddeck_player* player, int16_t* block) {
    moddeck_render_s16(player, block, kModuleBlockFrames);
}

void ModuleOutput::Render(void* self) {
    ModuleOutput& out = *static_cast<ModuleOutput*>(self);
    RenderModuleBlock(out.player_, out.block_);
}

bool ModuleOutput::Start(moddeck_player* player) {
    // The old thread goes before its player is replaced: it reads player_.
    thread_.Stop();
    if (!player) return false;
    player_ = player;
    return thread_.Start({Render, this, block_, static_cast<ALsizei>(sizeof block_), kModuleRate});
}

}  // namespace moddeck
