// moddeck-render: renders a module or an Ogg Vorbis file to a WAV file
// exactly as the player hands it to OpenAL, block by block (100 ms each).
// A module gives 16-bit stereo at 44,100 Hz; an Ogg Vorbis file (extension
// .ogg in any case, as in the player) 16-bit stereo at the stream's own rate,
// down to the end of the stream, or S seconds with the silence after its end
// when --seconds is given.
//
//   moddeck-render [--seconds S] INPUT OUTPUT.wav
//
// Exit status: 0 on success; 1 when INPUT cannot be read or is rejected, or
// OUTPUT cannot be written; 2 on bad usage.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/module_start.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "loaders/loaders.h"
#include "ogg/ogg_player.h"

using namespace moddeck;

namespace {

constexpr const char* kUsage = "usage: moddeck-render [--seconds S] INPUT OUTPUT.wav";
constexpr uint32_t kBlockBytes = kBlockSamples * sizeof(int16_t);
// A RIFF file counts its size in 32 bits.
constexpr uint64_t kMaxBlocks = (0xFFFFFFFFull - 36) / kBlockBytes;

void PutLE(FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) std::fputc((v >> (8 * i)) & 0xFF, f);
}

void WriteWavHeader(FILE* f, uint32_t dataBytes, uint32_t rate = kOutputRate) {
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
}

// Writes `count` samples as little-endian 16-bit values.
bool WriteSamples(FILE* f, const int16_t* samples, size_t count) {
    uint8_t bytes[kBlockBytes];
    while (count > 0) {
        const size_t n = count < kBlockSamples ? count : kBlockSamples;
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

bool WriteBlock(FILE* f, const int16_t* samples) { return WriteSamples(f, samples, kBlockSamples); }

// Loads INPUT as a module, starts it as the player does and renders
// `blocks` blocks into OUTPUT.
int RenderModule(const char* input, const char* output, uint64_t blocks) {
    Player player;
    if (!AddMusic(player, input)) {
        std::fprintf(stderr, "moddeck-render: %s: cannot read it or not a module\n", input);
        return 1;
    }
    FILE* f = std::fopen(output, "wb");
    if (!f) {
        std::fprintf(stderr, "moddeck-render: %s: %s\n", output, std::strerror(errno));
        FreeSongList(player);
        return 1;
    }
    StartModule(player);
    player.PLAYER_PARAMS = 1;  // at its end the song starts again, as in the player
    player.VOLUMEOP = 1;
    WriteWavHeader(f, static_cast<uint32_t>(blocks * kBlockBytes));
    bool ok = true;
    for (uint64_t b = 0; b < blocks && ok; b++) {
        MixNext(player);
        ok = WriteBlock(f, player.ActualBufferToBeMixed);
    }
    ok = std::fclose(f) == 0 && ok;
    StopModule(player);
    FreeSongList(player);
    if (!ok) {
        std::fprintf(stderr, "moddeck-render: %s: write failed\n", output);
        return 1;
    }
    return 0;
}

// True when the player takes the Ogg Vorbis path for `path`: the text after
// its last '.' is "OGG" in any case.
bool IsOggPath(const char* path) {
    const char* dot = std::strrchr(path, '.');
    return dot && std::strlen(dot + 1) == 3 && std::toupper(static_cast<unsigned char>(dot[1])) == 'O' &&
           std::toupper(static_cast<unsigned char>(dot[2])) == 'G' &&
           std::toupper(static_cast<unsigned char>(dot[3])) == 'G';
}

// Opens INPUT as the Ogg player does and writes the blocks OGG_MixNext
// hands to OpenAL: to the end of the stream when `toEnd`, else exactly
// `blocks` of them.
int RenderOgg(const char* input, const char* output, bool toEnd, uint64_t blocks) {
    OggPlayer ogg;
    if (!OpenOggStream(ogg, input)) {
        std::fprintf(stderr, "moddeck-render: %s: cannot read it or not an Ogg Vorbis stream\n", input);
        return 1;
    }
    FILE* f = std::fopen(output, "wb");
    if (!f) {
        std::fprintf(stderr, "moddeck-render: %s: %s\n", output, std::strerror(errno));
        CloseOggStream(ogg);
        return 1;
    }
    // The block size depends on the rate; a RIFF size stays within 32 bits.
    const uint64_t blockBytes = static_cast<uint64_t>(ogg.OGG_BlockBytes);
    const uint64_t maxBlocks = (0xFFFFFFFFull - 36) / blockBytes;
    const uint64_t limit = toEnd ? maxBlocks : std::min(blocks, maxBlocks);
    WriteWavHeader(f, 0, static_cast<uint32_t>(ogg.OGG_Rate));
    bool ok = true;
    uint64_t written = 0;
    while (written < limit && ok) {
        if (toEnd && ogg.OGG_Status == 0) break;  // the block with the last frames is out
        OGG_MixNext(ogg);
        ok = WriteSamples(f, reinterpret_cast<const int16_t*>(ogg.OGG_Buffer), ogg.OGG_BlockBytes / 2);
        written++;
    }
    CloseOggStream(ogg);
    ok = ok && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) WriteWavHeader(f, static_cast<uint32_t>(written * blockBytes), static_cast<uint32_t>(ogg.OGG_Rate));
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "moddeck-render: %s: write failed\n", output);
        return 1;
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 30;
    bool secondsGiven = false;
    const char* paths[2];
    int npaths = 0;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\nRenders S seconds (default 30) of a module as 16-bit stereo 44100 Hz WAV;\n"
                        "an Ogg Vorbis file (.ogg) to its end, or S seconds, at the stream's own rate.\n",
                        kUsage);
            return 0;
        }
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
    if (IsOggPath(paths[0]))
        return RenderOgg(paths[0], paths[1], !secondsGiven, static_cast<uint64_t>(blocks));
    return RenderModule(paths[0], paths[1], static_cast<uint64_t>(blocks));
}
