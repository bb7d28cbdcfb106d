#include "audio/output.h"

#include <fcntl.h>
#include <unistd.h>

namespace moddeck {

namespace {

// While a device is opened or closed, standard error goes nowhere: the
// sound libraries under OpenAL (ALSA's card probing, JACK's server search)
// write their own complaints there, over the player's screen. The player
// says itself, on its screen, when there is no device.
class QuietStandardError {
public:
    QuietStandardError() : saved_(dup(STDERR_FILENO)) {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStandardError() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved_;
};

}  // namespace

void AudioDevice::BringUp() {
    if (broughtUp_) return;
    const QuietStandardError quiet;
    if (!device_) device_ = alcOpenDevice(nullptr);
    if (device_ && !context_) context_ = alcCreateContext(device_, nullptr);
    if (context_ && alcMakeContextCurrent(context_)) {
        alListenerf(AL_GAIN, gain_);
        failure_ = nullptr;
    } else {
        failure_ = !device_ ? "the default OpenAL device cannot be opened"
                            : "no OpenAL context can be made on the default device";
    }
    // Set whatever happened: a machine without a device is not asked again,
    // and everything then runs silently.
    broughtUp_ = true;
}

void AudioDevice::ShutDown() {
    if (!broughtUp_) return;
    const QuietStandardError quiet;
    alcMakeContextCurrent(nullptr);
    if (context_) alcDestroyContext(context_);
    if (device_) alcCloseDevice(device_);
    context_ = nullptr;
    device_ = nullptr;
    failure_ = nullptr;
    broughtUp_ = false;
}

bool AudioReady() { return alcGetCurrentContext() != nullptr; }

void AudioDevice::SetGain(float gain) {
    gain_ = gain;
    if (AudioReady()) alListenerf(AL_GAIN, gain);
}

void AudioDevice::SetPaused(bool paused) {
    if (!device_ || !AudioReady() || !alcIsExtensionPresent(device_, "ALC_SOFT_pause_device")) return;
    using PauseFunction = void(ALC_APIENTRY*)(ALCdevice*);
    auto fn = reinterpret_cast<PauseFunction>(
        alcGetProcAddress(device_, paused ? "alcDevicePauseSOFT" : "alcDeviceResumeSOFT"));
    if (fn) fn(device_);
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

namespace {

// Renders a block into each buffer and queues them on the source.
void QueueFreshBlocks(ALuint source, const ALuint buffers[kOutputBuffers], const OutputBlocks& blocks, bool audible) {
    for (int i = 0; i < kOutputBuffers; ++i) {
        blocks.render(blocks.context);
        if (audible) {
            alBufferData(buffers[i], AL_FORMAT_STEREO16, blocks.block, blocks.bytes, blocks.rate);
            alSourceQueueBuffers(source, 1, &buffers[i]);
        }
    }
}

// Drops what the source still has queued (a stopped source has processed
// every buffer) and queues fresh blocks in their place.
void RequeueSource(ALuint source, const ALuint buffers[kOutputBuffers], const OutputBlocks& blocks, bool play) {
    alSourceStop(source);
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    for (ALint i = 0; i < processed; ++i) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(source, 1, &buffer);
    }
    QueueFreshBlocks(source, buffers, blocks, true);
    if (play) alSourcePlay(source);
}

}  // namespace

void StreamOutput(ALuint source, const ALuint buffers[kOutputBuffers], const OutputFeed& feed) {
    // Without a device (or when the source could not be made) the thread
    // renders its first blocks and then only takes requests and waits for
    // the stop request.
    const bool audible = AudioReady() && source != 0;
    QueueFreshBlocks(source, buffers, feed.blocks, audible);
    if (audible) alSourcePlay(source);

    bool sourcePaused = false;
    while (!feed.exit->load(std::memory_order_acquire)) {
        const bool moved = feed.blocks.takeRequests && feed.blocks.takeRequests(feed.blocks.context);
        if (moved && audible) RequeueSource(source, buffers, feed.blocks, !sourcePaused);
        const bool pause = feed.paused && feed.paused->load(std::memory_order_acquire) == 1;
        if (audible && pause != sourcePaused) {
            if (pause)
                alSourcePause(source);
            else
                alSourcePlay(source);
            sourcePaused = pause;
        }
        if (audible && !pause) {
            ALint processed = 0;
            alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
            // Leave one played buffer at the head: refilling n - 1 keeps at
            // most two unplayed blocks queued, 200 ms of latency.
            for (ALint i = 1; i < processed; ++i) {
                ALuint buffer = 0;
                alSourceUnqueueBuffers(source, 1, &buffer);
                if (buffer == 0) break;  // nothing was processed after all
                feed.blocks.render(feed.blocks.context);
                alBufferData(buffer, AL_FORMAT_STEREO16, feed.blocks.block, feed.blocks.bytes, feed.blocks.rate);
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

// ---- One output thread.

void* OutputThread::Run(void* self) {
    OutputThread& t = *static_cast<OutputThread*>(self);
    StreamOutput(t.source_, t.buffers_, OutputFeed{t.blocks_, &t.exit_, &t.acknowledged_, &t.paused_});
    return nullptr;
}

bool OutputThread::Start(const OutputBlocks& blocks) {
    Stop();
    blocks_ = blocks;
    exit_.store(0);
    acknowledged_.store(0);
    paused_.store(0);
    GenOutputSource(&source_, buffers_);
    if (pthread_create(&thread_, nullptr, Run, this) != 0) {
        DeleteOutputSource(&source_, buffers_);
        return false;
    }
    running_ = true;
    return true;
}

void OutputThread::Stop() {
    if (!running_) return;
    acknowledged_.store(0);
    exit_.store(1);
    do usleep(1000);
    while (acknowledged_.load() == 0);
    pthread_join(thread_, nullptr);
    DeleteOutputSource(&source_, buffers_);
    running_ = false;
}

}  // namespace moddeck
