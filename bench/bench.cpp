// moddeck-bench: how fast the module renderer runs, through the library's
// public interface. Renders each FILE for S seconds of audio (default 60)
// at R frames per second (default 44,100) in memory, in calls of 100 ms,
// and prints its speed in seconds of audio per second of wall time, with
// the choices of sound given (as moddeck's). With --jobs N the files are
// shared out among N threads, each rendering with a player of its own. With
// --compare it renders each file with the plain mixer and with the fast one
// (with each instruction set the processor has), for every choice of sound
// in turn, and stops at the first sample or level where they differ.
//
//   moddeck-bench [--seconds S] [--rate R] [--jobs N] [--compare] [SOUND OPTIONS] FILE...
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/sound_options.h"
#include "moddeck/moddeck.h"

namespace {

constexpr const char* kUsage =
    "usage: moddeck-bench [--seconds S] [--rate R] [--jobs N] [--compare] [SOUND OPTIONS] FILE...";

using moddeck::SoundOptions;
constexpr int kMaxChannels = 32;

struct SongDeleter {
    void operator()(moddeck_song* s) const { moddeck_song_free(s); }
};
struct PlayerDeleter {
    void operator()(moddeck_player* p) const { moddeck_player_free(p); }
};
using Song = std::unique_ptr<moddeck_song, SongDeleter>;
using Player = std::unique_ptr<moddeck_player, PlayerDeleter>;

// The module in `file`, or null (with the reason printed).
Song Load(const char* file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    moddeck_refusal why = MODDECK_UNREADABLE;
    Song song(in || in.eof() ? moddeck_song_load(bytes.data(), bytes.size(), &why) : nullptr);
    if (!song) std::fprintf(stderr, "moddeck-bench: %s: %s\n", file, moddeck_refusal_text(why));
    return song;
}

// A value of /proc/self/status in KiB: VmRSS (now) or VmHWM (the peak).
// ru_maxrss would also count what the parent held when it forked.
long StatusKiB(const char* key) {
    long kib = -1;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const size_t n = std::strlen(key);
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, key, n) == 0 && line[n] == ':') kib = std::atol(line + n + 1);
        std::fclose(f);
    }
    if (kib >= 0) return kib;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Result {
    bool loaded = false;
    std::string format;
    int channels = 0;
    double wall = 0;       // seconds spent rendering
    long playerKiB = 0;    // memory the player and its rendering took beyond the song
};

Result RenderFile(const char* file, int rate, uint64_t blocks, bool measureMemory, const SoundOptions& sound) {
    Result r;
    const Song song = Load(file);
    if (!song) return r;
    moddeck_song_info info;
    moddeck_song_describe(song.get(), &info);
    r.loaded = true;
    r.format = info.format_name;
    r.channels = info.channels;
    moddeck_song_subsongs(song.get());  // the song's map is the song's, made once
    const long before = measureMemory ? StatusKiB("VmRSS") : 0;
    const Player player(moddeck_player_new(song.get(), rate));
    moddeck::ApplySoundOptions(player.get(), sound);
    const size_t frames = static_cast<size_t>(rate / 10);
    std::vector<int16_t> block(2 * frames);
    const auto t0 = std::chrono::steady_clock::now();
    for (uint64_t b = 0; b < blocks; b++) moddeck_render_s16(player.get(), block.data(), frames);
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (measureMemory) r.playerKiB = StatusKiB("VmRSS") - before;
    return r;
}

struct Mixer {
    moddeck_mixer mixer;
    const char* name;
};
constexpr Mixer kFastMixers[] = {
    {MODDECK_MIXER_SCALAR, "scalar"}, {MODDECK_MIXER_SSE2, "sse2"}, {MODDECK_MIXER_AVX2, "avx2"}};

// Each choice of sound, the fast mixer held to the plain one's output.
struct Choice {
    SoundOptions sound;
    const char* name;
};
const Choice kChoices[] = {
    {{}, "default"},
    {{MODDECK_INTERPOLATION_NONE, false, 100, false}, "no interpolation"},
    {{MODDECK_INTERPOLATION_CUBIC, false, 100, false}, "cubic"},
    {{MODDECK_INTERPOLATION_SINC, false, 100, false}, "sinc"},
    {{MODDECK_INTERPOLATION_LINEAR, true, 100, false}, "ramping"},
    {{MODDECK_INTERPOLATION_LINEAR, false, 0, false}, "mono"},
    {{MODDECK_INTERPOLATION_LINEAR, false, 200, false}, "separation 200%"},
    {{MODDECK_INTERPOLATION_LINEAR, false, 100, true}, "Amiga"},
    {{MODDECK_INTERPOLATION_SINC, true, 60, true}, "sinc, ramping, separation 60%, Amiga"},
};

// A player of `song` with `mixer`, the choices of sound and its levels on,
// or null when the processor lacks the mixer's instructions.
Player Started(moddeck_song* song, int rate, moddeck_mixer mixer, const SoundOptions& sound) {
    Player player(moddeck_player_new(song, rate));
    if (!player || !moddeck_player_set_mixer(player.get(), mixer)) return nullptr;
    moddeck::ApplySoundOptions(player.get(), sound);
    moddeck_player_levels(player.get(), nullptr, 0);
    return player;
}

// Renders `song` with the plain mixer and the fast ones side by side, with
// one choice of sound; 0 when every block is the same, 1 at the first
// difference.
int CompareChoice(const char* file, moddeck_song* song, const Choice& choice, int rate, uint64_t blocks) {
    const Player plain = Started(song, rate, MODDECK_MIXER_PLAIN, choice.sound);
    std::vector<Player> fast;
    std::vector<const char*> names;
    for (const Mixer& m : kFastMixers)
        if (Player p = Started(song, rate, m.mixer, choice.sound)) {
            fast.push_back(std::move(p));
            names.push_back(m.name);
        }
    const size_t frames = static_cast<size_t>(rate / 10);
    std::vector<int16_t> want(2 * frames), got(2 * frames);
    uint16_t wantLevels[kMaxChannels], gotLevels[kMaxChannels];
    for (uint64_t b = 0; b < blocks; b++) {
        moddeck_render_s16(plain.get(), want.data(), frames);
        moddeck_player_levels(plain.get(), wantLevels, kMaxChannels);
        for (size_t k = 0; k < fast.size(); k++) {
            moddeck_render_s16(fast[k].get(), got.data(), frames);
            moddeck_player_levels(fast[k].get(), gotLevels, kMaxChannels);
            for (size_t e = 0; e < got.size(); e++) {
                if (got[e] == want[e]) continue;
                std::printf("%s, %s: the fast mixer (%s) differs at sample %llu (block %llu, frame %zu, %s): plain %d, "
                            "fast %d\n",
                            file, choice.name, names[k], static_cast<unsigned long long>(b * got.size() + e),
                            static_cast<unsigned long long>(b), e / 2, e % 2 ? "right" : "left", want[e], got[e]);
                return 1;
            }
            for (int c = 0; c < kMaxChannels; c++) {
                if (wantLevels[c] == gotLevels[c]) continue;
                std::printf("%s, %s: the fast mixer (%s) differs in the level of channel %d at block %llu: plain %d, "
                            "fast %d\n",
                            file, choice.name, names[k], c, static_cast<unsigned long long>(b), wantLevels[c],
                            gotLevels[c]);
                return 1;
            }
        }
    }
    std::printf("%s, %s: identical, %llu blocks at %d Hz (plain, fast", file, choice.name,
                static_cast<unsigned long long>(blocks), rate);
    for (const char* name : names) std::printf(" %s", name);
    std::printf(")\n");
    return 0;
}

// Every choice of sound in turn; 0 when each gives the same blocks with
// every mixer, 1 at the first difference or when the file cannot be played.
int CompareFile(const char* file, int rate, uint64_t blocks) {
    const Song song = Load(file);
    if (!song) return 1;
    for (const Choice& choice : kChoices)
        if (CompareChoice(file, song.get(), choice, rate, blocks)) return 1;
    return 0;
}

bool ParsePositive(const char* text, double max, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(out) && out > 0 && out <= max;
}

int Usage() {
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60, jobs = 1, rate = 44100;
    bool compare = false;
    SoundOptions sound;
    std::vector<const char*> files;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        const moddeck::SoundOptionRead read = moddeck::ReadSoundOption(argc, argv, i, sound, "moddeck-bench");
        if (read == moddeck::SoundOptionRead::Bad) return Usage();
        if (read == moddeck::SoundOptionRead::Taken) continue;
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\nRenders each FILE for S seconds (default 60) at R Hz (default 44100) in memory and\n"
                        "prints x realtime; N threads (default 1) share the files, each with a player of its own.\n"
                        "--compare: renders with the plain and the fast mixer, for every choice of sound,\n"
                        "and fails at the first difference, naming the file, the choice and the sample.\n%s",
                        kUsage, moddeck::kSoundOptionsHelp);
            return 0;
        }
        if (arg == "--compare") {
            compare = true;
        } else if (arg == "--seconds" || arg == "--jobs" || arg == "--rate") {
            double& value = arg == "--seconds" ? seconds : arg == "--jobs" ? jobs : rate;
            const double max = arg == "--seconds" ? 1e6 : arg == "--jobs" ? 256 : MODDECK_MAX_RATE;
            if (i + 1 >= argc || !ParsePositive(argv[++i], max, value) ||
                (arg != "--seconds" && value != std::floor(value)) || (arg == "--rate" && value < MODDECK_MIN_RATE))
                return Usage();
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) return Usage();
    const int hz = static_cast<int>(rate);
    const uint64_t blocks = static_cast<uint64_t>(std::ceil(10.0 * seconds));
    const double audio = blocks / 10.0;
    if (compare) {
        int status = 0;
        for (const char* file : files) status |= CompareFile(file, hz, blocks);
        return status;
    }

    std::vector<Result> results(files.size());
    std::atomic<size_t> next{0};
    const bool alone = jobs == 1;  // a player's own memory shows only when it renders alone
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < files.size();)
            results[i] = RenderFile(files[i], hz, blocks, alone, sound);
    };
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int j = 1; j < static_cast<int>(jobs); j++) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    double totalAudio = 0, totalWall = 0;
    long playerKiB = 0;
    int status = 0;
    for (size_t i = 0; i < files.size(); i++) {
        const Result& r = results[i];
        if (!r.loaded) {
            status = 1;
            continue;
        }
        std::printf("%s: %s, %d channels, %.0f x realtime\n", files[i], r.format.c_str(), r.channels, audio / r.wall);
        totalAudio += audio;
        totalWall += r.wall;
        playerKiB = std::max(playerKiB, r.playerKiB);
    }
    if (totalWall > 0) std::printf("total: %.0f x realtime at %d Hz\n", totalAudio / totalWall, hz);
    if (jobs > 1 && elapsed > 0)
        std::printf("throughput on %d threads: %.0f x realtime\n", static_cast<int>(jobs), totalAudio / elapsed);
    if (alone) std::printf("a player beyond its song: %ld KiB at most\n", playerKiB);
    std::printf("peak resident memory: %ld KiB\n", StatusKiB("VmHWM"));
    return status;
}
