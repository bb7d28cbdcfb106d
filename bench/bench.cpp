// moddeck-bench: how fast the module renderer runs. Renders each FILE for S
// seconds of audio (default 60) in memory and prints its speed in seconds
// of audio per second of wall time. With --jobs N the files are shared out
// among N threads, each rendering with a player of its own. With --compare
// it renders each file with the plain mixer and with the fast one (with each
// instruction set the processor has) and stops at the first sample or meter
// peak where they differ.
//
//   moddeck-bench [--seconds S] [--jobs N] [--compare] FILE...
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/mixer.h"
#include "engine/module_start.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "loaders/loaders.h"

using namespace moddeck;

namespace {

constexpr const char* kUsage = "usage: moddeck-bench [--seconds S] [--jobs N] [--compare] FILE...";

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

// A player of its own with the file started, looping it; null when the
// file cannot be read or is not a module.
std::unique_ptr<Player> Started(const char* file, bool fastMix, MixerIsa isa) {
    auto player = std::make_unique<Player>();
    if (!AddMusic(*player, file)) return nullptr;
    StartModule(*player);
    player->PLAYER_PARAMS = 1;
    player->VOLUMEOP = 1;
    player->fastMix = fastMix;
    player->isa = isa;
    player->meters.wanted = true;
    return player;
}

const char* IsaName(MixerIsa isa) { return isa == MixerIsa::Avx2 ? "avx2" : isa == MixerIsa::Sse2 ? "sse2" : "scalar"; }

// Renders `file` with the plain mixer and the fast ones side by side; 0 when
// every block is the same, 1 at the first difference or when the file
// cannot be played.
int CompareFile(const char* file, uint64_t blocks) {
    std::vector<MixerIsa> isas;
    for (MixerIsa isa : {MixerIsa::Scalar, MixerIsa::Sse2, MixerIsa::Avx2})
        if (MixerIsaAvailable(isa)) isas.push_back(isa);
    std::unique_ptr<Player> plain = Started(file, false, MixerIsa::Scalar);
    std::vector<std::unique_ptr<Player>> fast;
    for (MixerIsa isa : isas) fast.push_back(Started(file, true, isa));
    if (!plain || !fast[0]) {
        std::fprintf(stderr, "moddeck-bench: %s: cannot read it or not a module\n", file);
        return 1;
    }
    for (uint64_t b = 0; b < blocks; b++) {
        MixNext(*plain);
        for (size_t k = 0; k < fast.size(); k++) {
            Player& p = *fast[k];
            MixNext(p);
            for (int e = 0; e < kBlockSamples; e++) {
                if (p.ActualBufferToBeMixed[e] == plain->ActualBufferToBeMixed[e]) continue;
                std::printf("%s: the fast mixer (%s) differs at sample %llu (block %llu, frame %d, %s): plain %d, fast %d\n",
                            file, IsaName(isas[k]), static_cast<unsigned long long>(b * kBlockSamples + e),
                            static_cast<unsigned long long>(b), e / 2, e % 2 ? "right" : "left",
                            plain->ActualBufferToBeMixed[e], p.ActualBufferToBeMixed[e]);
                return 1;
            }
            for (int c = 0; c < kMaxChannels; c++) {
                const int want = plain->meters.peak[c], got = p.meters.peak[c];
                if (want == got) continue;
                std::printf("%s: the fast mixer (%s) differs in the meter of channel %d at block %llu: plain %d, fast %d\n",
                            file, IsaName(isas[k]), c, static_cast<unsigned long long>(b), want, got);
                return 1;
            }
        }
    }
    std::printf("%s: identical, %llu blocks (plain, fast", file, static_cast<unsigned long long>(blocks));
    for (MixerIsa isa : isas) std::printf(" %s", IsaName(isa));
    std::printf(")\n");
    return 0;
}

// This process's own peak: the kernel's high-water mark of its memory
// since it started. ru_maxrss also counts what the parent held when it
// forked, so that a large shell or script would show through.
long PeakResidentKiB() {
    long kib = -1;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
        std::fclose(f);
    }
    if (kib >= 0) return kib;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool ParsePositive(const char* text, double max, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(out) && out > 0 && out <= max;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60, jobs = 1;
    bool compare = false;
    std::vector<const char*> files;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\nRenders each FILE for S seconds (default 60) in memory and prints x realtime;\n"
                        "N threads (default 1) share the files, each with a player of its own.\n"
                        "--compare: renders with the plain and the fast mixer and fails at the first\n"
                        "difference, naming the file and the sample.\n",
                        kUsage);
            return 0;
        }
        if (arg == "--compare") {
            compare = true;
            continue;
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
    if (compare) {
        int status = 0;
        for (const char* file : files) status |= CompareFile(file, blocks);
        return status;
    }

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
    std::printf("peak resident memory: %ld KiB\n", PeakResidentKiB());
    return status;
}
