// Sound out: the OpenAL device of the process, and the output loop that
// streams 100 ms blocks through a source and a ring of three buffers on a
// thread of its own, with that thread's start and stop.
//
// Both players (modules in audio/module_output.h, Ogg Vorbis in
// audio/ogg_player.h) stream through an OutputThread. Nothing is locked: the
// shell asks the thread to stop by clearing its acknowledgement counter and
// then setting its exit flag, and waits until the counter is non-zero; the
// thread tests the flag once per cycle, makes its last OpenAL call, then
// increments the counter and ends.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>

namespace moddeck {

// ---- The audio device: the process's one device and context. One object
// per process (OpenAL makes its context current for every thread), used by
// the main thread only.
class AudioDevice {
public:
    AudioDevice() = default;
    ~AudioDevice() { ShutDown(); }
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    // Opens the default output device, creates a context and makes it
    // current for the whole process, the first time it is called, and
    // applies the gain; later calls do nothing. Without a device everything
    // goes on silently (failure() says why): no source or buffer is ever
    // generated and the output threads only render and wait. Standard error
    // is silenced meanwhile (and in ShutDown): the libraries under OpenAL
    // write to it.
    void BringUp();
    // Closes the context and the device and forgets the bring-up (the gain
    // is kept), so that the next BringUp opens the device again and nothing
    // is left open when the process ends. Only once no output thread runs
    // and every source and buffer has been deleted.
    void ShutDown();

    bool broughtUp() const { return broughtUp_; }
    ALCdevice* device() const { return device_; }    // null when none could be opened
    ALCcontext* context() const { return context_; }  // null without a device
    // Why there is no output, for people; null when there is (or before the
    // bring-up).
    const char* failure() const { return failure_; }

    // The volume: sets the listener's gain (1.0 = as rendered), now when a
    // context is current and at every later bring-up.
    void SetGain(float gain);
    // Pauses or resumes the whole device, when the device can (OpenAL Soft's
    // pause extension): nothing is mixed or written while paused, so the
    // sources hold their place. The output threads also pause their
    // sources (OutputThread::SetPaused).
    void SetPaused(bool paused);

private:
    bool broughtUp_ = false;  // whatever the bring-up achieved
    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    const char* failure_ = nullptr;
    float gain_ = 1.0f;
};

// True when a context is current, so that OpenAL calls reach a device.
bool AudioReady();

// ---- The output loop.
constexpr int kOutputBuffers = 3;
// How often the loop asks the source for played buffers. A block lasts
// 100 ms and the loop refills once the block before the last one queued has
// played, so at 20 ms at least 80 ms of sound are still queued when fresh
// blocks arrive, and the thread wakes 50 times a second (at 5 ms its
// wake-ups cost twice its rendering). It also bounds how long a stop or a
// pause waits.
constexpr unsigned kOutputPollMicroseconds = 20000;

// What a player hands the loop: a call that writes the next block at
// `block`, and the block's size and rate; and, optionally, a call made on
// the output thread once per cycle (paused too) that carries out what the
// shell asked of the player since (a seek), returning true when the blocks
// already queued no longer follow and are to be rendered afresh.
struct OutputBlocks {
    void (*render)(void* context);
    void* context;
    const void* block;  // 16-bit stereo frames
    ALsizei bytes;      // whole stereo frames
    ALsizei rate;       // frames per second
    bool (*takeRequests)(void* context);  // null: the player takes none
};

struct OutputFeed {
    OutputBlocks blocks;
    const std::atomic<uint8_t>* exit;    // the shell's stop request
    std::atomic<int32_t>* acknowledged;  // incremented once when stopping
    const std::atomic<uint8_t>* paused;  // 1: the source pauses, nothing is rendered; null: never
};

// Generates a source and its three buffers; all names stay 0 without audio.
void GenOutputSource(ALuint* source, ALuint buffers[kOutputBuffers]);
// Deletes what GenOutputSource made (deleting the source silences it) and
// zeroes the names. Only once the thread that used them has been joined.
void DeleteOutputSource(ALuint* source, ALuint buffers[kOutputBuffers]);

// Runs on an output thread: renders three blocks into the three buffers,
// queues them and plays the source; then every kOutputPollMicroseconds
// refills all but one of the processed buffers (the one left at the head
// keeps the queue from ever emptying between two polls) and restarts the
// source if it ran dry. When takeRequests says so, the source is stopped,
// emptied and given three fresh blocks, so that a seek is heard at once.
// While `paused` is 1 the source is paused and
// nothing is rendered; it plays on from where it was afterwards. When the
// exit flag is seen (also right after the first three blocks) it increments
// the acknowledgement counter once and returns, with no OpenAL call after
// that. The source keeps playing what is queued until the shell deletes it.
void StreamOutput(ALuint source, const ALuint buffers[kOutputBuffers], const OutputFeed& feed);

// ---- One output thread: StreamOutput over a player's blocks, on a source
// and buffers generated before the thread starts and deleted after it has
// been joined. Main thread only (the thread itself reads the flags).
class OutputThread {
public:
    OutputThread() = default;
    ~OutputThread() { Stop(); }
    OutputThread(const OutputThread&) = delete;
    OutputThread& operator=(const OutputThread&) = delete;

    // Stops a running thread, then generates the source and buffers and
    // starts a thread over `blocks` (unpaused). False, with nothing made,
    // when no thread can be created.
    bool Start(const OutputBlocks& blocks);
    // When a thread runs: clears the acknowledgement, sets the exit flag,
    // polls every millisecond until the thread acknowledges, joins it and
    // deletes the source and buffers at once (what was still queued, at most
    // 200 ms, is cut off). Safe to call at any time.
    void Stop();
    // Pauses or resumes the source; the thread renders nothing meanwhile.
    void SetPaused(bool paused) { paused_.store(paused ? 1 : 0, std::memory_order_release); }

    bool running() const { return running_; }
    ALuint source() const { return source_; }
    const ALuint* buffers() const { return buffers_; }
    // How many times the last thread acknowledged its stop (1 once stopped).
    int32_t acknowledged() const { return acknowledged_.load(std::memory_order_acquire); }

private:
    static void* Run(void* self);

    OutputBlocks blocks_{};
    ALuint source_ = 0;
    ALuint buffers_[kOutputBuffers] = {};
    pthread_t thread_{};
    bool running_ = false;
    std::atomic<uint8_t> exit_{0};
    std::atomic<int32_t> acknowledged_{0};
    std::atomic<uint8_t> paused_{0};
};

}  // namespace moddeck
