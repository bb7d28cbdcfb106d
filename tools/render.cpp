// moddeck-render: renders a module to a WAV file exactly as the player's
// renderer produces it, block by block (100 ms each).
//
//   moddeck-render [--seconds S] INPUT OUTPUT.wav
//
// Exit status: 0 on success; 1 when INPUT cannot be read or is rejected, or
// OUTPUT cannot be written; 2 on bad usage.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/module_start.h"
#include "engine/periods.h"
#include "engine/sequencer.h"
#include "engine/state.h"
#include "loaders/loaders.h"
#include "song/reader.h"

using namespace moddeck;

namespace {

constexpr const char* kUsage = "usage: moddeck-render [--seconds S] INPUT OUTPUT.wav";
constexpr uint32_t kBlockBytes = kBlockSamples * sizeof(int16_t);
// A RIFF file counts its size in 32 bits.
constexpr uint64_t kMaxBlocks = (0xFFFFFFFFull - 36) / kBlockBytes;

void PutLE(FILE* f, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) std::fputc((v >> (8 * i)) & 0xFF, f);
}

void WriteWavHeader(FILE* f, uint32_t dataBytes) {
    std::fwrite("RIFF", 1, 4, f);
    PutLE(f, 36 + dataBytes, 4);
    std::fwrite("WAVEfmt ", 1, 8, f);
    PutLE(f, 16, 4);                  // fmt chunk size
    PutLE(f, 1, 2);                   // PCM
    PutLE(f, 2, 2);                   // stereo
    PutLE(f, kOutputRate, 4);
    PutLE(f, kOutputRate * 4, 4);     // bytes per second
    PutLE(f, 4, 2);                   // bytes per frame
    PutLE(f, 16, 2);                  // bits per sample
    std::fwrite("data", 1, 4, f);
    PutLE(f, dataBytes, 4);
}

// Writes one block as little-endian 16-bit samples.
bool WriteBlock(FILE* f, const int16_t* samples) {
    uint8_t bytes[kBlockBytes];
    for (int i = 0; i < kBlockSamples; i++) {
        uint16_t v = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = v & 0xFF;
        bytes[2 * i + 1] = v >> 8;
    }
    return std::fwrite(bytes, 1, kBlockBytes, f) == kBlockBytes;
}

// Loads INPUT as a module, starts it as the player does and renders
// `blocks` blocks into OUTPUT.
int RenderModule(const char* input, const char* output, uint64_t blocks) {
    if (std::strlen(input) >= kPathSize) {
        std::fprintf(stderr, "moddeck-render: %s: path too long\n", input);
        return 1;
    }
    std::strcpy(fname_tmp, input);
    FreeSongList();
    CalculesPeriodes();
    if (!AddMusic()) {
        std::fprintf(stderr, "moddeck-render: %s: cannot read it or not a module\n", input);
        return 1;
    }
    FILE* f = std::fopen(output, "wb");
    if (!f) {
        std::fprintf(stderr, "moddeck-render: %s: %s\n", output, std::strerror(errno));
        FreeSongList();
        return 1;
    }
    StartModule();
    PLAYER_PARAMS = 1;  // at its end the song starts again, as in the player
    VOLUMEOP = 1;
    WriteWavHeader(f, static_cast<uint32_t>(blocks * kBlockBytes));
    bool ok = true;
    for (uint64_t b = 0; b < blocks && ok; b++) {
        MixNext();
        ok = WriteBlock(f, ActualBufferToBeMixed);
    }
    ok = std::fclose(f) == 0 && ok;
    StopModule();
    FreeSongList();
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
    const char* paths[2];
    int npaths = 0;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\nRenders S seconds (default 30) of INPUT as 16-bit stereo 44100 Hz WAV.\n", kUsage);
            return 0;
        }
        if (arg == "--seconds") {
            if (i + 1 >= argc) return Usage();
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
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
    return RenderModule(paths[0], paths[1], static_cast<uint64_t>(blocks));
}
