// Sound out: the one OpenAL device of the process, the output loop that
// streams 100 ms blocks through a source and a ring of three buffers, and the
// module output thread with its start and stop.
//
// Both output threads (modules here, Ogg Vorbis in ogg/ogg_player.h) run the
// same loop, StreamOutput. Nothing is locked: the shell asks a thread to stop
// by clearing its acknowledgement counter and then setting its exit flag,
// and waits until the counter is non-zero; the thread tests the flag once
// per cycle, makes its last OpenAL call, then increments the counter and
// ends.
#pragma once

#include <AL/al.h>
#include <AL/alc.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "engine/player.h"

namespace moddeck {

// ---- Audio device: the process's one device and context, set up by
// AudioBringUp. Main thread.
struct AudioDevice {
    uint8_t TAG_SOUND = 0;          // the bring-up has run (whatever it achieved)
    ALCdevice* device = nullptr;    // null when no output device could be opened
    ALCcontext* context = nullptr;  // null without a device
    const char* failure = nullptr;  // why there is no output, for people; null when there is
    float gain = 1.0f;              // the listener's gain (the player's volume)
    bool paused = false;            // the device is paused (SetOutputPaused)
};
AudioDevice& ProcessAudioDevice();

// Opens the default output device, creates a context and makes it current
// for the whole process, the first time it is called, and applies the
// gain; later calls do nothing. Without a device everything goes on
// silently (failure says why): no source or buffer is ever generated and
// the output threads only render and wait.
void AudioBringUp();

// True when a context is current, so that OpenAL calls reach a device.
bool AudioReady();

// Closes the context and the device and forgets the bring-up (the gain is
// kept), so that the next AudioBringUp opens the device again and nothing is
// left open when the process ends. Only once no output thread runs and
// every source and buffer has been deleted.
void AudioShutDown();

// The volume: sets the listener's gain (1.0 = as rendered), now when a
// context is current and at every later bring-up. Main thread.
void SetOutputGain(float gain);

// Pauses or resumes the whole device, when the device can (OpenAL Soft's
// pause extension): nothing is mixed or written while paused, so the
// sources hold their place. The output threads also pause their sources
// (OutputFeed::paused). Main thread.
void SetOutputPaused(bool paused);

// ---- The output loop shared by both players.
constexpr int kOutputBuffers = 3;
// How often the loop asks the source for played buffers. A block lasts
// 100 ms and the loop refills once the block before the last one queued has
// played, so at 20 ms at least 80 ms of sound are still queued when fresh
// blocks arrive, and the thread wakes 50 times a second (at 5 ms its
// wake-ups cost twice its rendering). It also bounds how long a stop or a
// pause waits.
constexpr unsigned kOutputPollMicroseconds = 20000;

struct OutputFeed {
    void (*render)(void* context);         // writes the next block at `block`
    void* context;                         // handed to render
    const void* block;                     // the block handed to OpenAL
    ALsizei bytes;                         // size of a block (whole stereo frames)
    ALsizei rate;                          // frames per second of the block
    const std::atomic<uint8_t>* exit;      // the shell's stop request
    std::atomic<int32_t>* acknowledged;    // incremented once when stopping
    const std::atomic<uint8_t>* running;   // refill only while 1; null: always
    const std::atomic<uint8_t>* paused;    // 1: the source pauses, nothing is rendered; null: never
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
// source if it ran dry. While `paused` is 1 the source is paused and
// nothing is rendered; it plays on from where it was afterwards. When the
// exit flag is seen (also right after the first three blocks) it increments
// the acknowledgement counter once and returns, with no OpenAL call after
// that. The source keeps playing what is queued until the shell deletes it.
void StreamOutput(ALuint source, const ALuint buffers[kOutputBuffers], const OutputFeed& feed);

// ---- Module output thread: streams one player's blocks. Its source and
// buffers are generated by the shell before the thread starts and deleted
// after it has been joined. Main thread only, but for what the thread reads
// before it starts.
struct ModuleOutput {
    Player* player = nullptr;  // the player it streams (set by StartModulePlayer)
    ALuint source_secondary = 0;
    ALuint buffer_secondary[kOutputBuffers] = {};
    pthread_t ThreadOwnMixer{};
    uint8_t TAG_SONGPLAYER = 0;  // a module output thread exists
    std::atomic<uint8_t> paused{0};  // written by the shell: pause the source
};

// The module output of the process-wide player.
ModuleOutput& ProcessModuleOutput();

// Thread body, `arg` a ModuleOutput*: StreamOutput over MixNext's blocks
// (ActualBufferToBeMixed, 17,640 bytes at 44,100 Hz), refilling while
// PLAYER_ON is 1, stopping on EXITMIXER with TERMINATED.
void* ThreadOwnMixerProc(void* arg);

// After StartModule(p): generates the source and buffers, creates the
// thread, then sets TAG_SONGPLAYER, PLAYER_PARAMS (replay the song at its
// end) and VOLUMEOP (reset the master volume at the next block). Starts
// nothing while a module thread exists, or when no song has been started
// (PLAYER_ON clear, for instance after a failed load). When the thread
// cannot be created, the source and buffers are deleted again and
// TAG_SONGPLAYER stays clear.
void StartModulePlayer(ModuleOutput& out, Player& p);
void StartModulePlayer();  // the process-wide player and output

// When TAG_SONGPLAYER is set: stops and joins the thread (TERMINATED = 0,
// EXITMIXER = 1, poll every 1000 us) and deletes the source and buffers
// (which silences them). Then, when a module was started, releases the
// song list (FreeSongList, StopModule), and clears TAG_SONGPLAYER. Safe to
// call at any time on the main thread.
void StopModulePlayer(ModuleOutput& out, Player& p);
void StopModulePlayer();

}  // namespace moddeck
