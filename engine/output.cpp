#include "engine/output.h"

#include <unistd.h>

#include "engine/module_start.h"
#include "engine/sequencer.h"
#include "loaders/loaders.h"

namespace moddeck {

AudioDevice& ProcessAudioDevice() {
    static AudioDevice audio;
    return audio;
}

void AudioBringUp() {
    AudioDevice& audio = ProcessAudioDevice();
    if (audio.TAG_SOUND) return;
    if (!audio.device) audio.device = alcOpenDevice(nullptr);
    if (audio.device && !audio.context) audio.context = alcCreateContext(audio.device, nullptr);
    if (audio.context && alcMakeContextCurrent(audio.context)) {
        alListenerf(AL_GAIN, audio.gain);
        audio.failure = nullptr;
    } else {
        audio.failure = !audio.device ? "the default OpenAL device cannot be opened"
                                      : "no OpenAL context can be made on the default device";
    }
    // Set whatever happened: a machine without a device is not asked again,
    // and everything then runs silently.
    audio.TAG_SOUND = 1;
}

bool AudioReady() { return alcGetCurrentContext() != nullptr; }

void AudioShutDown() {
    AudioDevice& audio = ProcessAudioDevice();
    alcMakeContextCurrent(nullptr);
    if (audio.context) alcDestroyContext(audio.context);
    if (audio.device) alcCloseDevice(audio.device);
    const float gain = audio.gain;
    audio = AudioDevice{};
    audio.gain = gain;
}

void SetOutputGain(float gain) {
    AudioDevice& audio = ProcessAudioDevice();
    audio.gain = gain;
    if (AudioReady()) alListenerf(AL_GAIN, gain);
}

void SetOutputPaused(bool paused) {
    AudioDevice& audio = ProcessAudioDevice();
    audio.paused = paused;
    if (!audio.device || !AudioReady() || !alcIsExtensionPresent(audio.device, "ALC_SOFT_pause_device")) return;
    using PauseFunction = void(ALC_APIENTRY*)(ALCdevice*);
    auto fn = reinterpret_cast<PauseFunction>(
        alcGetProcAddress(audio.device, paused ? "alcDevicePauseSOFT" : "alcDeviceResumeSOFT"));
    if (fn) fn(audio.device);
}

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
        feed.render(feed.context);
        if (audible) {
            alBufferData(buffers[i], AL_FORMAT_STEREO16, feed.block, feed.bytes, feed.rate);
            alSourceQueueBuffers(source, 1, &buffers[i]);
        }
    }
    if (audible) alSourcePlay(source);

    bool sourcePaused = false;
    while (!feed.exit->load(std::memory_order_acquire)) {
        const bool pause = feed.paused && feed.paused->load(std::memory_order_acquire) == 1;
        if (audible && pause != sourcePaused) {
            if (pause)
                alSourcePause(source);
            else
                alSourcePlay(source);
            sourcePaused = pause;
        }
        if (audible && !pause && (!feed.running || feed.running->load(std::memory_order_acquire) == 1)) {
            ALint processed = 0;
            alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
            // Leave one played buffer at the head: refilling n - 1 keeps at
            // most two unplayed blocks queued, 200 ms of latency.
            for (ALint i = 1; i < processed; ++i) {
                ALuint buffer = 0;
                alSourceUnqueueBuffers(source, 1, &buffer);
                if (buffer == 0) break;  // nothing was processed after all
                feed.render(feed.context);
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
        usleep(kOutputPollMicroseconds);
    }
    feed.acknowledged->fetch_add(1, std::memory_order_release);
}

// ---- Module output thread.

ModuleOutput& ProcessModuleOutput() {
    static ModuleOutput output;
    return output;
}

namespace {
void RenderModuleBlock(void* player) { MixNext(*static_cast<Player*>(player)); }
}  // namespace

void* ThreadOwnMixerProc(void* arg) {
    ModuleOutput& out = *static_cast<ModuleOutput*>(arg);
    Player& p = *out.player;
    const OutputFeed feed = {RenderModuleBlock, &p,           p.ActualBufferToBeMixed, sizeof p.ActualBufferToBeMixed,
                             kOutputRate,       &p.EXITMIXER, &p.TERMINATED,           &p.PLAYER_ON,
                             &out.paused};
    StreamOutput(out.source_secondary, out.buffer_secondary, feed);
    return nullptr;
}

void StartModulePlayer(ModuleOutput& out, Player& p) {
    // One module thread at most, and only over a started song: the thread
    // renders the song without any lock.
    if (out.TAG_SONGPLAYER || p.PLAYER_ON.load() != 1 || p.SONG == nullptr) return;
    out.player = &p;
    GenOutputSource(&out.source_secondary, out.buffer_secondary);
    if (pthread_create(&out.ThreadOwnMixer, nullptr, ThreadOwnMixerProc, &out) != 0) {
        DeleteOutputSource(&out.source_secondary, out.buffer_secondary);
        return;
    }
    out.TAG_SONGPLAYER = 1;
    p.PLAYER_PARAMS.store(1);
    p.VOLUMEOP.store(1);
}

void StartModulePlayer() { StartModulePlayer(ProcessModuleOutput(), ProcessPlayer()); }

void StopModulePlayer(ModuleOutput& out, Player& p) {
    if (out.TAG_SONGPLAYER) {
        p.TERMINATED.store(0);
        p.EXITMIXER.store(1);
        do usleep(1000);
        while (p.TERMINATED.load() == 0);
        pthread_join(out.ThreadOwnMixer, nullptr);
        DeleteOutputSource(&out.source_secondary, out.buffer_secondary);
    }
    // A module loaded and started whose thread could not be created is
    // released as well, so that the next file never finds it in the list.
    if (out.TAG_SONGPLAYER || p.PLAYER_ON.load() == 1) {
        FreeSongList(p);
        StopModule(p);
    }
    out.TAG_SONGPLAYER = 0;
}

void StopModulePlayer() { StopModulePlayer(ProcessModuleOutput(), ProcessPlayer()); }

}  // namespace moddeck
