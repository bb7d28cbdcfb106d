// The module output: one player's blocks streamed to OpenAL by an output
// thread. The player stays the caller's (and so does its song): the output
// only renders it, on its thread, between Start and Stop.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/output.h"
#include "moddeck/moddeck.h"

namespace moddeck {

// Modules play at 44,100 Hz in blocks of 100 ms, 4,410 stereo frames.
constexpr int kModuleRate = 44100;
constexpr size_t kModuleBlockFrames = 4410;
constexpr size_t kModuleBlockSamples = 2 * kModuleBlockFrames;

// Renders the next block of `player` into `block` (kModuleBlockSamples
// values), as the output thread hands it to OpenAL; what moddeck-render
// writes is the same blocks.
void RenderModuleBlock(moddeck_player* player, int16_t* block);

class ModuleOutput {
public:
    ModuleOutput() = default;
    ~ModuleOutput() { Stop(); }
    ModuleOutput(const ModuleOutput&) = delete;
    ModuleOutput& operator=(const ModuleOutput&) = delete;

    // Streams `player` (a player of kModuleRate frames a second) from its
    // next block on; the thread renders it without any lock, so from here to
    // Stop only the player's "any thread" calls may be made on it. Stops a
    // running output first. False when no thread can be created.
    bool Start(moddeck_player* player);
    // Stops the thread (see OutputThread::Stop); the player is left as the
    // last block left it. Safe to call at any time.
    void Stop() { thread_.Stop(); }
    void SetPaused(bool paused) { thread_.SetPaused(paused); }

    bool running() const { return thread_.running(); }
    const OutputThread& thread() const { return thread_; }

private:
    static void Render(void* self);

    moddeck_player* player_ = nullptr;
    int16_t block_[kModuleBlockSamples] = {};
    OutputThread thread_;
};

}  // namespace moddeck
