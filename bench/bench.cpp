// moddeck-bench: how fast the module renderer runs. Renders each FILE for S
// seconds of audio (default 60) in memory and prints its speed in seconds
// of audio per second of wall time.
//
//   moddeck-bench [--seconds S] FILE...
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/mixer.h"
#include "engine/module_start.h"
#include "engine/periods.h"
#include "engine/sequencer.h"
#include "engine/state.h"
#include "loaders/loaders.h"
#include "song/reader.h"

using namespace moddeck;

namespace {

constexpr const char* kUsage = "usage: moddeck-bench [--seconds S] FILE...";

const char* FormatName(const Mod& song) {
    switch (KindOf(song)) {
        case SongKind::XM: return "XM";
        case SongKind::S3M: return "S3M";
        default: return "MOD";
    }
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    std::vector<const char*> files;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\nRenders each FILE for S seconds (default 60) in memory and prints x realtime.\n",
                        kUsage);
            return 0;
        }
        if (arg == "--seconds") {
            char* end = nullptr;
            if (i + 1 >= argc) break;
            seconds = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e6) {
                std::fprintf(stderr, "%s\n", kUsage);
                return 2;
            }
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "%s\n", kUsage);
        return 2;
    }
    const uint64_t blocks = static_cast<uint64_t>(std::ceil(10.0 * seconds));
    const double audio = blocks / 10.0;
    double totalAudio = 0, totalWall = 0;
    int status = 0;
    for (const char* file : files) {
        if (std::strlen(file) >= kPathSize) {
            std::fprintf(stderr, "moddeck-bench: %s: path too long\n", file);
            status = 1;
            continue;
        }
        std::strcpy(fname_tmp, file);
        FreeSongList();
        CalculesPeriodes();
        if (!AddMusic()) {
            std::fprintf(stderr, "moddeck-bench: %s: cannot read it or not a module\n", file);
            status = 1;
            continue;
        }
        StartModule();
        PLAYER_PARAMS = 1;
        VOLUMEOP = 1;
        auto t0 = std::chrono::steady_clock::now();
        for (uint64_t b = 0; b < blocks; b++) MixNext();
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%s: %s, %d channels, %.0f x realtime\n", file, FormatName(*SONG), SONG->nbChannels,
                    audio / wall);
        totalAudio += audio;
        totalWall += wall;
        StopModule();
        FreeSongList();
    }
    if (totalWall > 0) std::printf("total: %.0f x realtime\n", totalAudio / totalWall);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %ld KiB\n", usage.ru_maxrss);
    return status;
}
