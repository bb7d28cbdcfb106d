// moddeck-bench: how fast the module renderer runs. Renders each FILE for S
// seconds of audio (default 60) in memory and prints its speed in seconds
// of audio per second of wall time. With --jobs N the files are shared out
// among N threads, each rendering with a player of its own.
//
//   moddeck-bench [--seconds S] [--jobs N] FILE...
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/module_start.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "loaders/loaders.h"

using namespace moddeck;

namespace {

constexpr const char* kUsage = "usage: moddeck-bench [--seconds S] [--jobs N] FILE...";

struct Result {
    bool loaded = false;
    FileFormat format = FileFormat::None;
    int channels = 0;
    double wall = 0;  // seconds spent rendering
};

Result RenderFile(const char* file, uint64_t blocks) {
    Result r;
    Player player;
    if (!AddMusic(player, file)) return r;
    r.loaded = true;
    r.format = FormatOf(*player.SONG);
    r.channels = player.SONG->nbChannels;
    StartModule(player);
    player.PLAYER_PARAMS = 1;
    player.VOLUMEOP = 1;
    auto t0 = std::chrono::steady_clock::now();
    for (uint64_t b = 0; b < blocks; b++) MixNext(player);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    StopModule(player);
    FreeSongList(player);
    return r;
}

bool ParsePositive(const char* text, double max, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(out) && out > 0 && out <= max;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60, jobs = 1;
    std::vector<const char*> files;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\nRenders each FILE for S seconds (default 60) in memory and prints x realtime;\n"
                        "N threads (default 1) share the files, each with a player of its own.\n",
                        kUsage);
            return 0;
        }
        if (arg == "--seconds" || arg == "--jobs") {
            double& value = arg == "--seconds" ? seconds : jobs;
            if (i + 1 >= argc || !ParsePositive(argv[++i], arg == "--seconds" ? 1e6 : 256, value) ||
                (arg == "--jobs" && value != std::floor(value))) {
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

    std::vector<Result> results(files.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < files.size();) results[i] = RenderFile(files[i], blocks);
    };
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int j = 1; j < static_cast<int>(jobs); j++) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    double totalAudio = 0, totalWall = 0;
    int status = 0;
    for (size_t i = 0; i < files.size(); i++) {
        const Result& r = results[i];
        if (!r.loaded) {
            std::fprintf(stderr, "moddeck-bench: %s: cannot read it or not a module\n", files[i]);
            status = 1;
            continue;
        }
        std::printf("%s: %s, %d channels, %.0f x realtime\n", files[i], FormatName(r.format), r.channels,
                    audio / r.wall);
        totalAudio += audio;
        totalWall += r.wall;
    }
    if (totalWall > 0) std::printf("total: %.0f x realtime\n", totalAudio / totalWall);
    if (jobs > 1 && elapsed > 0)
        std::printf("throughput on %d threads: %.0f x realtime\n", static_cast<int>(jobs), totalAudio / elapsed);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %ld KiB\n", usage.ru_maxrss);
    return status;
}
