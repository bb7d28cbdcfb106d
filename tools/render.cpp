// moddeck-render: renders a module or an Ogg Vorbis file to a WAV file
// exactly as the player hands it to OpenAL, block by block (100 ms each).
// A module gives 16-bit stereo at 44,100 Hz; an Ogg Vorbis file (told by its
// content, as in the player) 16-bit stereo at the stream's own rate, down to
// the end of the stream, or S seconds with the silence after its end when
// --seconds is given.
//
//   moddeck-render [--seconds S] [SOUND OPTIONS] INPUT OUTPUT.wav    (OUTPUT - : standard output)
//
// The sound options (--interpolation, --ramping, --separation, --amiga)
// are the player's choices of sound; a module renders with them.
//
// Exit status: 0 on success; 1 when INPUT cannot be read or is refused
// (the reason is printed), or OUTPUT cannot be written; 2 on bad usage,
// OUTPUT naming INPUT included.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "audio/input_file.h"
#include "audio/module_output.h"
#include "audio/ogg_player.h"
#include "audio/sound_options.h"
#include "moddeck/moddeck.h"

using namespace moddeck;

namespace {

constexpr const char* kUsage = "usage: moddeck-render [--seconds S] [SOUND OPTIONS] INPUT OUTPUT.wav";
constexpr uint32_t kBlockBytes = kModuleBlockSamples * sizeof(int16_t);
// A RIFF file counts its size in 32 bits.
constexpr uint64_t kMaxBlocks = (0xFFFFFFFFull - 36) / kBlockBytes;

void PutLE(FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) std::fputc((v >> (8 * i)) & 0xFF, f);
}

bool WriteWavHeader(FILE* f, uint32_t dataBytes, uint32_t rate = kModuleRate) {
    std::fwrite("RIFF", 1, 4, f);
    PutLE(f, 36 + dataBytes, 4);
    std::fwrite("WAVEfmt ", 1, 8, f);
    PutLE(f, 16, 4);                  // fmt chunk size
    PutLE(f, 1, 2);                   // PCM
    PutLE(f, 2, 2);                   // stereo
    PutLE(f, rate, 4);
    PutLE(f, rate * 4, 4);            // bytes per second
    PutLE(f, 4, 2);                   // bytes per frame
    PutLE(f, 16, 2);                  // bits per sample
    std::fwrite("data", 1, 4, f);
    PutLE(f, dataBytes, 4);
    return !std::ferror(f);
}

// Writes `count` samples as little-endian 16-bit values.
bool WriteSamples(FILE* f, const int16_t* samples, size_t count) {
    uint8_t bytes[kBlockBytes];
    while (count > 0) {
        const size_t n = count < kModuleBlockSamples ? count : kModuleBlockSamples;
        for (size_t i = 0; i < n; i++) {
            uint16_t v = static_cast<uint16_t>(samples[i]);
            bytes[2 * i] = v & 0xFF;
            bytes[2 * i + 1] = v >> 8;
        }
        if (std::fwrite(bytes, 1, 2 * n, f) != 2 * n) return false;
        samples += n;
        count -= n;
    }
    return true;
}

bool WriteBlock(FILE* f, const int16_t* samples) { return WriteSamples(f, samples, kModuleBlockSamples); }

// OUTPUT, opened once INPUT has been accepted (so that a refused input
// leaves any file of that name alone): standard output for "-".
FILE* OpenOutput(const char* output) {
    FILE* f = std::strcmp(output, "-") == 0 ? stdout : std::fopen(output, "wb");
    if (!f) std::fprintf(stderr, "moddeck-render: %s: %s\n", output, std::strerror(errno));
    return f;
}

// Flushes and closes OUTPUT; 0 when everything was written, else 1.
int CloseOutput(FILE* f, const char* output, bool written) {
    const bool closed = std::fflush(f) == 0 && (f == stdout || std::fclose(f) == 0);
    if (written && closed) return 0;
    std::fprintf(stderr, "moddeck-render: %s: write failed\n", output);
    return 1;
}

// Loads the module in `bytes`, plays it as the player does (looping: at
// its end the song starts again) with the choices of sound and renders
// `blocks` blocks into OUTPUT.
int RenderModule(const char* input, const std::vector<uint8_t>& bytes, const char* output, uint64_t blocks,
                 const SoundOptions& sound) {
    moddeck_load_report report;
    moddeck_song* song = moddeck_song_load_report(bytes.data(), bytes.size(), &report);
    moddeck_player* player = song ? moddeck_player_new(song, kModuleRate) : nullptr;
    if (song && !player) report.why = MODDECK_TOO_LARGE;  // no memory for the player
    moddeck_song_free(song);  // the player keeps it
    char reason[200];
    moddeck_load_report_text(&report, reason, sizeof reason);
    if (!player) {
        std::fprintf(stderr, "moddeck-render: %s: %s\n", input, reason);
        return 1;
    }
    // A module cut in its samples renders what it has, and says so.
    if (reason[0]) std::fprintf(stderr, "moddeck-render: %s: %s\n", input, reason);
    ApplySoundOptions(player, sound);
    FILE* f = OpenOutput(output);
    bool ok = f && WriteWavHeader(f, static_cast<uint32_t>(blocks * kBlockBytes));
    static int16_t block[kModuleBlockSamples];
    for (uint64_t b = 0; b < blocks && ok; b++) {
        RenderModuleBlock(player, block);
        ok = WriteBlock(f, block);
    }
    moddeck_player_free(player);
    return f ? CloseOutput(f, output, ok) : 1;
}

// Opens the Ogg image as the Ogg player does and writes the blocks
// OGG_MixNext hands to OpenAL: to the end of the stream when `toEnd`, else
// exactly `blocks` of them. To the end, the header's sizes are written last
// where the output can seek, and as the largest ("unknown") where it cannot.
int RenderOgg(const char* input, const std::vector<uint8_t>& bytes, const char* output, bool toEnd, uint64_t blocks) {
    OggPlayer ogg;
    moddeck_refusal why = MODDECK_OK;
    if (!OpenOggBytes(ogg, bytes.data(), bytes.size(), &why)) {
        std::fprintf(stderr, "moddeck-render: %s: %s\n", input, moddeck_refusal_text(why));
        return 1;
    }
    FILE* f = OpenOutput(output);
    if (!f) return 1;
    // The block size depends on the rate; a RIFF size stays within 32 bits.
    const uint64_t blockBytes = static_cast<uint64_t>(ogg.OGG_BlockBytes);
    const uint64_t maxBlocks = (0xFFFFFFFFull - 36) / blockBytes;
    const uint64_t limit = toEnd ? maxBlocks : std::min(blocks, maxBlocks);
    const bool seekable = std::fseek(f, 0, SEEK_CUR) == 0;
    const uint32_t announced = !toEnd ? static_cast<uint32_t>(limit * blockBytes) : seekable ? 0 : 0xFFFFFFFFu - 36;
    bool ok = WriteWavHeader(f, announced, static_cast<uint32_t>(ogg.OGG_Rate));
    uint64_t written = 0;
    while (written < limit && ok) {
        if (toEnd && ogg.OGG_Status == 0) break;  // the block with the last frames is out
        OGG_MixNext(ogg);
        ok = WriteSamples(f, reinterpret_cast<const int16_t*>(ogg.OGG_Buffer), ogg.OGG_BlockBytes / 2);
        written++;
    }
    CloseOggStream(ogg);
    if (ok && toEnd && seekable)
        ok = std::fseek(f, 0, SEEK_SET) == 0 &&
             WriteWavHeader(f, static_cast<uint32_t>(written * blockBytes), static_cast<uint32_t>(ogg.OGG_Rate));
    return CloseOutput(f, output, ok);
}

// True when `output` names the file `input` is: rendering would destroy
// the input.
bool SameFile(const char* input, const char* output) {
    struct stat in, out;
    return stat(input, &in) == 0 && stat(output, &out) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

int Usage() {
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 30;
    bool secondsGiven = false;
    SoundOptions sound;
    const char* paths[2];
    int npaths = 0;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\nRenders S seconds (default 30) of a module as 16-bit stereo 44100 Hz WAV;\n"
                        "an Ogg Vorbis file (.ogg) to its end, or S seconds, at the stream's own rate.\n%s",
                        kUsage, kSoundOptionsHelp);
            return 0;
        }
        const SoundOptionRead read = ReadSoundOption(argc, argv, i, sound, "moddeck-render");
        if (read == SoundOptionRead::Bad) return Usage();
        if (read == SoundOptionRead::Taken) continue;
        if (arg == "--seconds") {
            if (i + 1 >= argc) return Usage();
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            secondsGiven = true;
            if (end == argv[i] || *end != '\0' || !std::isfinite(seconds) || seconds < 0) return Usage();
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else if (npaths < 2) {
            paths[npaths++] = argv[i];
        } else {
            return Usage();
        }
    }
    if (npaths != 2) return Usage();
    double blocks = std::ceil(10.0 * seconds);
    if (blocks > static_cast<double>(kMaxBlocks)) {
        std::fprintf(stderr, "moddeck-render: --seconds %g is more than a WAV file can hold\n", seconds);
        return 2;
    }
    if (std::strcmp(paths[1], "-") != 0 && SameFile(paths[0], paths[1])) {
        std::fprintf(stderr, "moddeck-render: OUTPUT is INPUT: %s would be overwritten\n", paths[0]);
        return 2;
    }
    std::vector<uint8_t> bytes;
    moddeck_refusal why = MODDECK_OK;
    if (!ReadWholeFile(paths[0], bytes, 0x7FFFFFFF, &why)) {
        std::fprintf(stderr, "moddeck-render: %s: %s\n", paths[0], moddeck_refusal_text(why));
        return 1;
    }
    return IsOggImage(bytes.data(), bytes.size())
               ? RenderOgg(paths[0], bytes, paths[1], !secondsGiven, static_cast<uint64_t>(blocks))
               : RenderModule(paths[0], bytes, paths[1], static_cast<uint64_t>(blocks), sound);
}
