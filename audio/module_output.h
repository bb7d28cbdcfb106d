// The module output: one player's blocks streamed to OpenAL by an output
// thread. The player stays the caller's (and so does its song): the output
// only renders it, on its thread, between Start and Stop.
#pragma once

#include <atomic>
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

    // Asks the output thread, which alone may move the player, to play on
    // from `seconds` into the song or from the start of subsong `subsong`;
    // taken within one poll of the output, paused or not. A later request
    // replaces one not yet taken.
    void RequestSeek(double seconds) { seek_.store(seconds, std::memory_order_release); }
    void RequestSubsong(int subsong) { subsong_.store(subsong, std::memory_order_release); }
    bool RequestPending() const {
        return seek_.load(std::memory_order_acquire) >= 0 || subsong_.load(std::memory_order_acquire) >= 0;
    }
    // Carries out the requests (the output thread, once per cycle; with the
    // thread stopped, any caller); true when the player moved.
    bool TakeRequests();
    // Renders the next block as the thread does (with the thread stopped).
    void RenderNext() { RenderModuleBlock(player_, block_); }
    const int16_t* block() const { return block_; }

    bool running() const { return thread_.running(); }
    const OutputThread& thread() const { return thread_; }

private:
    static void Render(void* self);
    static bool Take(void* self);

    moddeck_player* player_ = nullptr;
    int16_t block_[kModuleBlockSamples] = {};
    // Negative: nothing asked.
    std::atomic<double> seek_{-1.0};
    std::atomic<int> subsong_{-1};
    OutputThread thread_;
};

}  // namespace moddeck
