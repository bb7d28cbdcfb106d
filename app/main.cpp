// moddeck [--enqueue] [SOUND OPTIONS] [FILE...] | --quit: plays the files in turn, or starts
// idle; hands the files to the player that already runs for this user.
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/file_player.h"
#include "app/instance.h"
#include "app/signals.h"
#include "audio/file_name.h"
#include "audio/input_file.h"
#include "audio/sound_options.h"
#include "moddeck/moddeck.h"

using namespace moddeck;

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: moddeck [--enqueue] [SOUND OPTIONS] [FILE...]\n"
                 "       moddeck --quit\n"
                 "Plays tracker modules (XM, S3M, MOD) and Ogg Vorbis files, one after the other.\n"
                 "\n"
                 "  FILE       a file to play; - reads a module or an Ogg Vorbis file from standard\n"
                 "             input. When a Moddeck already runs for this user, the files are\n"
                 "             handed over and it plays them instead of its playlist\n"
                 "  --enqueue  add the files to the running player's playlist instead\n"
                 "  --quit     ask the running player to quit\n"
                 "  --help     show this help and exit\n"
                 "  --version  show the version and exit\n"
                 "\n"
                 "Sound options (the running player keeps its own):\n"
                 "%s"
                 "\n"
                 "Keys: space pause, n/p next/previous file, Right/Left or +/- order,\n"
                 "* / volume, l loop, a about, i instruments, h keys, q quit.\n",
                 kSoundOptionsHelp);
}

std::string AbsolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) return resolved;
    return {};
}

// Hands the files (or the quit request) to the running player. Each file
// is recognised here first, so that what cannot be played is refused with
// its reason and the running player's list is never replaced by nothing.
int HandToRunningPlayer(const std::string& socketPath, Command command, const std::vector<std::string>& files) {
    Request request{command, {}};
    int status = 0;
    for (const std::string& file : files) {
        if (file == kStandardInputName) {
            std::fprintf(stderr, "moddeck: -: standard input cannot be handed to the running player\n");
            status = 1;
            continue;
        }
        std::string absolute = AbsolutePath(file);
        const moddeck_refusal why = absolute.empty() ? RefusalOfErrno(errno) : CheckPlayable(absolute.c_str());
        if (why != MODDECK_OK) {
            std::fprintf(stderr, "moddeck: %s: %s\n", ReadableFileName(file).c_str(), moddeck_refusal_text(why));
            status = 1;
            continue;
        }
        request.paths.push_back(absolute);
    }
    if (command != Command::Quit && request.paths.empty()) return 1;
    switch (HandOver(socketPath, request)) {
        case HandOverResult::Accepted: break;
        case HandOverResult::Refused:
            std::fprintf(stderr, "moddeck: the running Moddeck refused the request\n");
            return 1;
        case HandOverResult::NoAnswer:
            std::fprintf(stderr, "moddeck: the running Moddeck did not answer\n");
            return 1;
    }
    const size_t n = request.paths.size();
    if (command == Command::Quit)
        std::fprintf(stderr, "moddeck: asked the running player to quit\n");
    else if (n == 1)
        std::fprintf(stderr, "moddeck: %s %s to the running player\n", command == Command::Enqueue ? "added" : "handed",
                     ReadableFileName(files.size() == 1 ? files[0] : request.paths[0]).c_str());
    else
        std::fprintf(stderr, "moddeck: %s %zu files to the running player\n",
                     command == Command::Enqueue ? "added" : "handed", n);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::vector<std::string> files;
    bool enqueue = false, quit = false, optionsDone = false;
    SoundOptions sound;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        const SoundOptionRead read =
            optionsDone ? SoundOptionRead::NotOne : ReadSoundOption(argc, argv, i, sound, "moddeck");
        if (read == SoundOptionRead::Bad) return 2;
        if (read == SoundOptionRead::Taken) continue;
        if (!optionsDone && (arg == "--help" || arg == "-h")) {
            PrintUsage(stdout);
            return 0;
        }
        if (!optionsDone && arg == "--version") {
            std::printf("moddeck " MODDECK_VERSION "\n");
            return 0;
        }
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--enqueue") {
            enqueue = true;
        } else if (!optionsDone && arg == "--quit") {
            quit = true;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "moddeck: unknown option %s\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (quit && (!files.empty() || enqueue)) {
        std::fprintf(stderr, "moddeck: --quit takes no file\n");
        return 2;
    }
    const bool readsStandardInput = std::count(files.begin(), files.end(), kStandardInputName) > 0;
    // Reading a terminal would wait for typing that never comes.
    if (readsStandardInput && isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "moddeck: -: standard input is a terminal; pipe a file in (moddeck - < FILE)\n");
        return 2;
    }

    InstallSignalHandlers();

    std::string error;
    std::string socketPath = InstanceSocketPath(&error);
    std::unique_ptr<InstanceListener> listener;
    if (!socketPath.empty()) {
        int fd = -1;
        switch (ClaimInstance(socketPath, &fd, &error)) {
            case ClaimResult::Owner:
                listener = std::make_unique<InstanceListener>(fd, socketPath);
                RememberSocketForCrash(socketPath.c_str());
                break;
            case ClaimResult::OtherRunning:
                if (quit) return HandToRunningPlayer(socketPath, Command::Quit, {});
                if (files.empty()) {
                    std::fprintf(stderr, "moddeck: a Moddeck already runs for this user (moddeck --quit ends it)\n");
                    return 0;
                }
                return HandToRunningPlayer(socketPath, enqueue ? Command::Enqueue : Command::Open, files);
            case ClaimResult::Failed: break;
        }
    }
    if (quit) {
        std::fprintf(stderr, "moddeck: no Moddeck is running\n");
        return 1;
    }
    if (!listener) std::fprintf(stderr, "moddeck: playing without the single-player socket: %s\n", error.c_str());

    Application app(listener.get(), isatty(STDOUT_FILENO));
    app.SetSound(sound);
    if (readsStandardInput) {
        std::vector<uint8_t> bytes;
        moddeck_refusal why = MODDECK_OK;
        // Standard input can be read only once: what keeps it from playing is
        // said here, once, and ends the player.
        if (!ReadWholeStream(STDIN_FILENO, bytes, kMaxOggBytes, &why)) {
            if (QuitSignal()) return 128 + QuitSignal();
            std::fprintf(stderr, "moddeck: -: %s\n", moddeck_refusal_text(why));
            return 1;
        }
        app.SetStandardInput(std::move(bytes));
    }
    int status = app.Run(files);
    listener.reset();
    RememberSocketForCrash("");
    return status;
}
