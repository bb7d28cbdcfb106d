#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "audio/input_file.h"
#include "audio/ogg_player.h"

namespace moddeck {

namespace {

// Down-mix of the Vorbis channel orders to left and right, in Q15. Weights:
// a front side channel 1 to its side; the centre and the side and rear
// channels of a side 0.7071 (-3 dB); a rear centre 0.5 to both sides; the
// LFE 0. Each side is then divided by the sum of its weights, so that no
// mix of full-scale channels can clip.
struct Downmix {
    int32_t left[8];
    int32_t right[8];
};

constexpr double kMinus3dB = 0.7071067811865476;

constexpr Downmix MakeDownmix(int channels) {
    double l[8] = {}, r[8] = {};
    switch (channels) {
        case 3:  // L C R
            l[0] = 1; l[1] = kMinus3dB;
            r[2] = 1; r[1] = kMinus3dB;
            break;
        case 4:  // FL FR RL RR
            l[0] = 1; l[2] = kMinus3dB;
            r[1] = 1; r[3] = kMinus3dB;
            break;
        case 5:  // FL C FR RL RR
        case 6:  // FL C FR RL RR LFE
            l[0] = 1; l[1] = kMinus3dB; l[3] = kMinus3dB;
            r[2] = 1; r[1] = kMinus3dB; r[4] = kMinus3dB;
            break;
        case 7:  // FL C FR SL SR RC LFE
            l[0] = 1; l[1] = kMinus3dB; l[3] = kMinus3dB; l[5] = 0.5;
            r[2] = 1; r[1] = kMinus3dB; r[4] = kMinus3dB; r[5] = 0.5;
            break;
        case 8:  // FL C FR SL SR RL RR LFE
            l[0] = 1; l[1] = kMinus3dB; l[3] = kMinus3dB; l[5] = kMinus3dB;
            r[2] = 1; r[1] = kMinus3dB; r[4] = kMinus3dB; r[6] = kMinus3dB;
            break;
        default: break;
    }
    double sumL = 0, sumR = 0;
    for (int i = 0; i < 8; ++i) { sumL += l[i]; sumR += r[i]; }
    Downmix d = {};
    for (int i = 0; i < 8; ++i) {
        d.left[i] = sumL > 0 ? static_cast<int32_t>(l[i] / sumL * 32768.0) : 0;
        d.right[i] = sumR > 0 ? static_cast<int32_t>(r[i] / sumR * 32768.0) : 0;
    }
    return d;
}

constexpr Downmix kDownmix[9] = {
    MakeDownmix(0), MakeDownmix(1), MakeDownmix(2), MakeDownmix(3), MakeDownmix(4),
    MakeDownmix(5), MakeDownmix(6), MakeDownmix(7), MakeDownmix(8),
};

int16_t Clamp16(int32_t v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

// Writes `frames` frames of `channels` interleaved samples as stereo frames
// at `out`; returns the bytes written (4 per frame).
int32_t ToStereo(const int16_t* in, int32_t frames, int channels, int16_t* out) {
    if (channels == 2) {
        std::memcpy(out, in, static_cast<size_t>(frames) * 4);
    } else if (channels == 1) {
        for (int32_t f = 0; f < frames; ++f) out[2 * f] = out[2 * f + 1] = in[f];
    } else if (channels <= 8) {
        const Downmix& d = kDownmix[channels];
        for (int32_t f = 0; f < frames; ++f, in += channels) {
            int32_t l = 0, r = 0;
            for (int c = 0; c < channels; ++c) {
                l += d.left[c] * in[c];
                r += d.right[c] * in[c];
            }
            out[2 * f] = Clamp16(l >> 15);
            out[2 * f + 1] = Clamp16(r >> 15);
        }
    } else {
        // Beyond eight channels Vorbis defines no order: every channel goes
        // to both sides alike.
        for (int32_t f = 0; f < frames; ++f, in += channels) {
            int32_t sum = 0;
            for (int c = 0; c < channels; ++c) sum += in[c];
            out[2 * f] = out[2 * f + 1] = Clamp16(sum / channels);
        }
    }
    return frames * 4;
}

// The stream has ended or broken: close it and release its image, once.
void EndStream(OggPlayer& o) {
    if (o.ActualFileOpen) {
        ov_clear(&o.ActualFile);
        o.ActualFileOpen = 0;
    }
    std::free(o.oggdataActual.data);
    o.oggdataActual.data = nullptr;
}

// The stream is over: the frames that wait are the last block.
void FinishStream(OggPlayer& o) {
    EndStream(o);
    std::memcpy(o.OGG_Buffer, o.OGG_BufferTmp, static_cast<size_t>(o.OGG_pos));
    std::memset(o.OGG_Buffer + o.OGG_pos, 0, static_cast<size_t>(o.OGG_BlockBytes - o.OGG_pos));
    o.OGG_pos = 0;
    o.OGG_Status = 0;
    o.OGG_Ended.store(1, std::memory_order_release);
}

void RenderOggBlock(void* player) { OGG_MixNext(*static_cast<OggPlayer*>(player)); }
bool TakeOggSeek(void* player) { return OGG_TakeSeek(*static_cast<OggPlayer*>(player)); }

}  // namespace

bool OpenOggBytes(OggPlayer& o, const uint8_t* data, size_t size, moddeck_refusal* why) {
    CloseOggStream(o);
    uint8_t* image = size > 0 && size <= INT32_MAX ? static_cast<uint8_t*>(std::malloc(size)) : nullptr;
    if (!image) {
        if (why) *why = size == 0 ? MODDECK_EMPTY_FILE : MODDECK_TOO_LARGE;
        return false;
    }
    // In pieces: copying a large image takes seconds, which a process that
    // is ending does not wait for.
    AdviseHugePages(image, size);
    constexpr size_t kPiece = size_t{16} << 20;
    for (size_t at = 0; at < size; at += kPiece) {
        if (ReadingAbandoned()) {
            std::free(image);
            if (why) *why = MODDECK_UNREADABLE;
            return false;
        }
        std::memcpy(image + at, data + at, std::min(kPiece, size - at));
    }
    return OpenOggImage(o, image, static_cast<int32_t>(size), why);
}

namespace {

void ReadComments(OggPlayer& o) {
    o.OGG_Comments.clear();
    const vorbis_comment* vc = ov_comment(&o.ActualFile, 0);
    char text[kOggCommentBytes];
    for (int i = 0; vc && i < vc->comments && o.OGG_Comments.size() < kOggCommentsKept; i++) {
        if (!vc->user_comments[i] || vc->comment_lengths[i] <= 0) continue;
        moddeck_text_utf8(vc->user_comments[i], size_t(vc->comment_lengths[i]), text, sizeof text);
        o.OGG_Comments.emplace_back(text);
    }
}

}  // namespace

bool OpenOggImage(OggPlayer& o, uint8_t* data, int32_t size, moddeck_refusal* why) {
    CloseOggStream(o);
    // Told by its first page: another codec is refused by name before the
    // Vorbis library is asked.
    const moddeck_refusal codec =
        data && size > 0 ? IdentifyOgg(data, static_cast<size_t>(size)).refusal : MODDECK_EMPTY_FILE;
    if (why) *why = codec;
    if (codec != MODDECK_OK) {
        std::free(data);
        return false;
    }
    o.oggdataActual = {data, size, 0};

    const ov_callbacks callbacks = {own_read_func, own_seek_func, own_close_func, own_tell_func};
    if (ov_open_callbacks(&o.oggdataActual, &o.ActualFile, nullptr, 0, callbacks) < 0) {
        std::free(o.oggdataActual.data);
        o.oggdataActual.data = nullptr;
        if (why) *why = MODDECK_NOT_OGG_VORBIS;
        return false;
    }
    o.ActualFileOpen = 1;
    const vorbis_info* info = ov_info(&o.ActualFile, -1);
    if (!info || info->channels < 1 || info->rate < kOggMinRate || info->rate > kOggMaxRate) {
        CloseOggStream(o);
        if (why) *why = MODDECK_NOT_OGG_VORBIS;
        return false;
    }
    o.OGG_Rate = static_cast<int32_t>(info->rate);
    o.OGG_BlockBytes = o.OGG_Rate / 10 * 4;
    const double seconds = ov_time_total(&o.ActualFile, -1);
    o.OGG_Seconds = seconds > 0 ? seconds : 0;
    ReadComments(o);
    // Before a read fewer than OGG_BlockBytes bytes wait; one read of 16,384
    // bytes brings at most 8,192 frames (mono), 32,768 bytes as stereo.
    o.OGG_Buffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(o.OGG_BlockBytes)));
    o.OGG_BufferTmp = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(o.OGG_BlockBytes + 2 * kOggReadBytes)));
    if (!o.OGG_Buffer || !o.OGG_BufferTmp) {
        CloseOggStream(o);
        if (why) *why = MODDECK_TOO_LARGE;
        return false;
    }
    o.OGG_pos = 0;
    o.OGG_Status = 1;
    o.OGG_Ended.store(0);
    return true;
}

void CloseOggStream(OggPlayer& o) {
    EndStream(o);
    std::free(o.OGG_Buffer);
    std::free(o.OGG_BufferTmp);
    o.OGG_Buffer = nullptr;
    o.OGG_BufferTmp = nullptr;
    o.OGG_pos = 0;
    o.OGG_Status = 0;
}

void OGG_MixNext(OggPlayer& o) {
    if (!o.OGG_Buffer) return;  // no stream was ever opened
    if (!o.OGG_Status) {
        std::memset(o.OGG_Buffer, 0, static_cast<size_t>(o.OGG_BlockBytes));
        return;
    }
    int16_t pcm[kOggReadBytes / 2];
    while (o.OGG_pos < o.OGG_BlockBytes) {
        int section = 0;
        const long got = o.ActualFileOpen
                             ? ov_read(&o.ActualFile, reinterpret_cast<char*>(pcm), kOggReadBytes, 0, 2, 1, &section)
                             : OV_EINVAL;
        // Channels of the link that this data came from: a chained stream
        // may change its layout from one link to the next.
        const vorbis_info* info = got > 0 ? ov_info(&o.ActualFile, section) : nullptr;
        if (!info || info->channels < 1) {
            // The end, or a break in the data.
            FinishStream(o);
            return;
        }
        const int32_t frames = static_cast<int32_t>(got) / (2 * info->channels);
        o.OGG_pos += ToStereo(pcm, frames, info->channels, reinterpret_cast<int16_t*>(o.OGG_BufferTmp + o.OGG_pos));
    }
    std::memcpy(o.OGG_Buffer, o.OGG_BufferTmp, static_cast<size_t>(o.OGG_BlockBytes));
    o.OGG_pos -= o.OGG_BlockBytes;
    std::memmove(o.OGG_BufferTmp, o.OGG_BufferTmp + o.OGG_BlockBytes, static_cast<size_t>(o.OGG_pos));
}

bool OGG_TakeSeek(OggPlayer& o) {
    const double seconds = o.OGG_SeekRequest.exchange(-1.0, std::memory_order_acq_rel);
    if (seconds < 0 || !o.OGG_Status || !o.ActualFileOpen) return false;
    o.OGG_pos = 0;
    // Past the end (or into a part that cannot be read) there is nothing more to hear.
    if (seconds >= o.OGG_Seconds || ov_time_seek(&o.ActualFile, seconds) != 0) FinishStream(o);
    return true;
}

OggPlayer::~OggPlayer() { StopOggPlayer(*this); }

bool StartOggPlayer(OggPlayer& o, const uint8_t* data, size_t size, moddeck_refusal* why) {
    StopOggPlayer(o);
    if (!OpenOggBytes(o, data, size, why)) return false;
    o.OGG_SeekRequest.store(-1.0);
    const OutputBlocks blocks = {RenderOggBlock, &o, o.OGG_Buffer, o.OGG_BlockBytes, o.OGG_Rate, TakeOggSeek};
    if (!o.output.Start(blocks)) {
        CloseOggStream(o);
        if (why) *why = MODDECK_UNREADABLE;
        return false;
    }
    return true;
}

void StopOggPlayer(OggPlayer& o) {
    o.output.Stop();
    CloseOggStream(o);
}

}  // namespace moddeck
