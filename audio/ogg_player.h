// Ogg Vorbis playback: a file read whole into memory, decoded by
// libvorbisfile through four callbacks over that image, cut into 100 ms
// blocks of 16-bit stereo at the stream's own rate, and streamed to OpenAL
// by the Ogg output thread. A stream plays once and is followed by silence.
#pragma once

#include <vorbis/vorbisfile.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/output.h"
#include "moddeck/moddeck.h"

namespace moddeck {

// ---- Recognition by content (identify.cpp): an Ogg file is told by its
// first page, whatever its name.

// True when the bytes start with an Ogg page ("OggS").
bool IsOggImage(const uint8_t* data, size_t size);

// The codec of the first packet of an Ogg image: MODDECK_OK with the
// stream's rate and channels for Vorbis; MODDECK_OGG_OPUS, _FLAC, _SPEEX or
// _THEORA for those codecs; MODDECK_NOT_OGG_VORBIS for anything else (no
// Ogg page, a broken identification header). Reads only the first page.
struct OggIdentity {
    moddeck_refusal refusal = MODDECK_NOT_OGG_VORBIS;
    int32_t rate = 0;
    int32_t channels = 0;
};
OggIdentity IdentifyOgg(const uint8_t* data, size_t size);

// ---- The memory image of one file (stream.cpp).
struct OggData {
    uint8_t* data;  // the whole file (malloc); never freed by the callbacks
    int32_t size;   // bytes in data; images of 2 GiB or more are refused
    int32_t pos;    // read position, kept within 0..size
};

// libvorbisfile callbacks; `datasource` is an OggData*.
// Copies up to size * nmemb bytes from pos; 0 at the end of the image.
size_t own_read_func(void* ptr, size_t size, size_t nmemb, void* datasource);
// Origin 0 (start), 1 (current) or 2 (end: pos = size - offset); any other
// leaves pos as it is. The position is clamped to 0..size. Always 0.
int own_seek_func(void* datasource, ogg_int64_t offset, int whence);
// Does nothing: the image belongs to the shell. Always 0.
int own_close_func(void* datasource);
// The read position.
long own_tell_func(void* datasource);

// ---- The Ogg player (playback.cpp): the open stream, its blocks and its
// output thread. The stream fields are written by the shell before the
// thread starts and after it has stopped; in between by that thread alone.
constexpr int32_t kOggReadBytes = 16384;   // one ov_read request
constexpr int32_t kOggMinRate = 1000;      // streams outside these rates are refused:
constexpr int32_t kOggMaxRate = 192000;    // they bound the block and staging sizes
constexpr size_t kOggCommentsKept = 64;    // a screenful; the rest of a hostile list is dropped
constexpr size_t kOggCommentBytes = 1024;

struct OggPlayer {
    OggPlayer() = default;
    ~OggPlayer();  // stops the thread and closes the stream
    OggPlayer(const OggPlayer&) = delete;
    OggPlayer& operator=(const OggPlayer&) = delete;

    OggData oggdataActual = {nullptr, 0, 0};
    OggVorbis_File ActualFile{};
    uint8_t ActualFileOpen = 0;       // between ov_open_callbacks and its one ov_clear
    int32_t OGG_Rate = 0;             // frames per second of the stream (first link)
    int32_t OGG_BlockBytes = 0;       // 100 ms of stereo 16-bit frames at OGG_Rate
    uint8_t* OGG_Buffer = nullptr;    // the block handed to OpenAL (OGG_BlockBytes)
    uint8_t* OGG_BufferTmp = nullptr; // staging: decoded stereo bytes not yet handed over
    int32_t OGG_pos = 0;              // bytes waiting at the start of OGG_BufferTmp
    uint8_t OGG_Status = 0;           // 1 while the stream still has data
    double OGG_Seconds = 0;           // length of the stream, 0 when unknown
    // The first link's Vorbis comments as "KEY=value", decoded to UTF-8 with
    // no control byte, written at the open; at most kOggCommentsKept of
    // kOggCommentBytes each.
    std::vector<std::string> OGG_Comments;

    // Published by whoever decodes (the output thread while it runs) for the
    // shell: 1 once the stream has ended (its last frames are then still
    // queued for at most 300 ms).
    std::atomic<uint8_t> OGG_Ended{0};
    // Written by the shell: play on from this many seconds into the stream;
    // taken by OGG_TakeSeek. Negative: nothing asked.
    std::atomic<double> OGG_SeekRequest{-1.0};

    OutputThread output;  // streams OGG_MixNext's blocks at OGG_Rate
};

// Opens the image with ov_open_callbacks: takes `data` (malloc, `size`
// bytes) whether it succeeds or not. Sets OGG_Rate, OGG_BlockBytes and
// OGG_Seconds from the stream, allocates OGG_Buffer and OGG_BufferTmp,
// OGG_pos = 0, OGG_Status = 1 and OGG_Ended to 0. Returns false, holding
// nothing, with the reason in *why (when given), when it is not an Ogg
// Vorbis stream (IdentifyOgg names the codec) or has a rate outside
// kOggMinRate .. kOggMaxRate.
bool OpenOggImage(OggPlayer& o, uint8_t* data, int32_t size, moddeck_refusal* why = nullptr);
// The same over bytes that stay the caller's: the image is a copy
// (MODDECK_TOO_LARGE when none can be made, 2 GiB or more included).
bool OpenOggBytes(OggPlayer& o, const uint8_t* data, size_t size, moddeck_refusal* why = nullptr);
// Closes the stream if it is still open, frees the image and both blocks.
// Safe to call twice; only while no output thread plays it.
void CloseOggStream(OggPlayer& o);

// Puts the next block into OGG_Buffer: decoded frames, mono sent to both
// sides and more than two channels mixed down to stereo. At the end of the
// stream (or at a decoding error) the waiting frames are followed by zeros,
// the stream is closed, its image freed and OGG_Status cleared; from then on
// every block is silence.
void OGG_MixNext(OggPlayer& o);

// Takes a seek request: moves the decoder to the time asked (within the
// stream) and drops the frames staged from before; a time the stream cannot
// reach ends it. True when the stream moved or ended. Whoever decodes calls
// it (the output thread once per cycle); after the end it does nothing.
bool OGG_TakeSeek(OggPlayer& o);

// Plays the bytes (opened as OpenOggBytes opens them) through the output
// thread. Returns false and starts nothing when the stream is refused (the
// reason in *why). An Ogg player still running is stopped first.
bool StartOggPlayer(OggPlayer& o, const uint8_t* data, size_t size, moddeck_refusal* why = nullptr);

// Stops the output thread (see OutputThread::Stop), then CloseOggStream.
// Safe to call at any time.
void StopOggPlayer(OggPlayer& o);

}  // namespace moddeck
