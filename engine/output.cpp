#include "engine/output.h"

#include <unistd.h>

#include "engine/module_start.h"
#include "engine/sequencer.h"
#include "engine/state.h"
#include "loaders/loaders.h"

namespace moddeck {

uint8_t TAG_SOUND = 0;
ALCdevice* device = nullptr;
ALCcontext* context = nullptr;

void AudioBringUp() {
    if (TAG_SOUND) return;
    if (!device) device = alcOpenDevice(nullptr);
    if (device && !context) context = alcCreateContext(device, nullptr);
    if (context) alcMakeContextCurrent(context);
    // Set whatever happened: a machine without a device is not asked again,
    // and everything then runs silently.
    TAG_SOUND = 1;
}

bool AudioReady() { return alcGetCurrentContext() != nullptr; }

void GenOutputSource(ALuint* source, ALuint buffers[kOutputBuffers]) {
    *source = 0;
    for (int i = 0; i < kOutputBuffers; ++i) buffers[i] = 0;
    if (!AudioReady()) return;
    alGenSources(1, source);
    alGenBuffers(kOutputBuffers, buffers);
}

void DeleteOutputSource(ALuint* source, ALuint buffers[kOutputBuffers]) {
    if (AudioReady()) {
        // The source goes first: a buffer still queued on it cannot be deleted.
        if (*source != 0) alDeleteSources(1, source);
        for (int i = 0; i < kOutputBuffers; ++i)
            if (buffers[i] != 0) alDeleteBuffers(1, &buffers[i]);
    }
    *source = 0;
    for (int i = 0; i < kOutputBuffers; ++i) buffers[i] = 0;
}

void StreamOutput(ALuint source, const ALuint buffers[kOutputBuffers], const OutputFeed& feed) {
    // Without a device (or when the source could not be made) the thread
    // renders its first blocks and then only waits for the stop request.
    const bool audible = AudioReady() && source != 0;
    for (int i = 0; i < kOutputBuffers; ++i) {
        feed.render();
        if (audible) {
            alBufferData(buffers[i], AL_FORMAT_STEREO16, feed.block, feed.bytes, feed.rate);
            alSourceQueueBuffers(source, 1, &buffers[i]);
        }
    }
    if (audible) alSourcePlay(source);

    while (!feed.exit->load(std::memory_order_acquire)) {
        if (audible && (!feed.running || feed.running->load(std::memory_order_acquire) == 1)) {
            ALint processed = 0;
            alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
            // Leave one played buffer at the head: refilling n - 1 keeps at
            // most two unplayed blocks queued, 200 ms of latency.
            for (ALint i = 1; i < processed; ++i) {
                ALuint buffer = 0;
                alSourceUnqueueBuffers(source, 1, &buffer);
                if (buffer == 0) break;  // nothing was processed after all
                feed.render();
                alBufferData(buffer, AL_FORMAT_STEREO16, feed.block, feed.bytes, feed.rate);
                alSourceQueueBuffers(source, 1, &buffer);
            }
            if (processed > 1) {
                // A source that has played all it had stops; start it again
                // once it has fresh blocks.
                ALint state = 0;
                alGetSourcei(source, AL_SOURCE_STATE, &state);
                if (state != AL_PLAYING) alSourcePlay(source);
            }
        }
        usleep(100);
    }
    feed.acknowledged->fetch_add(1, std::memory_order_release);
}

// ---- Module output thread.

ALuint source_secondary = 0;
ALuint buffer_secondary[kOutputBuffers] = {};
pthread_t ThreadOwnMixer;
uint8_t TAG_SONGPLAYER = 0;

namespace {
void RenderModuleBlock() { MixNext(); }
}  // namespace

void* ThreadOwnMixerProc(void*) {
    const OutputFeed feed = {RenderModuleBlock, ActualBufferToBeMixed, sizeof ActualBufferToBeMixed,
                             kOutputRate,       &EXITMIXER,            &TERMINATED,
                             &PLAYER_ON};
    StreamOutput(source_secondary, buffer_secondary, feed);
    return nullptr;
}

void StartModulePlayer() {
    // One module thread at most, and only over a started song: the thread
    // renders SONG without any lock.
    if (TAG_SONGPLAYER || PLAYER_ON.load() != 1 || SONG == nullptr) return;
    GenOutputSource(&source_secondary, buffer_secondary);
    if (pthread_create(&ThreadOwnMixer, nullptr, ThreadOwnMixerProc, nullptr) != 0) {
        DeleteOutputSource(&source_secondary, buffer_secondary);
        return;
    }
    TAG_SONGPLAYER = 1;
    PLAYER_PARAMS.store(1);
    VOLUMEOP.store(1);
}

void StopModulePlayer() {
    if (TAG_SONGPLAYER) {
        TERMINATED.store(0);
        EXITMIXER.store(1);
        do usleep(1000);
        while (TERMINATED.load() == 0);
        pthread_join(ThreadOwnMixer, nullptr);
        DeleteOutputSource(&source_secondary, buffer_secondary);
    }
    // A module loaded and started whose thread could not be created is
    // released as well, so that the next file never finds it in the list.
    if (TAG_SONGPLAYER || PLAYER_ON.load() == 1) {
        FreeSongList();
        StopModule();
    }
    TAG_SONGPLAYER = 0;
}

}  // namespace moddeck
