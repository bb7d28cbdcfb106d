// moddeck [FILE]: plays FILE, or starts idle; hands FILE to the player that
// already runs for this user.
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/instance.h"
#include "app/signals.h"

using namespace moddeck;

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "Usage: moddeck [FILE]\n"
                 "Plays a tracker module (XM, S3M, MOD) or an Ogg Vorbis file.\n"
                 "\n"
                 "  FILE       the file to play; when a Moddeck already runs for this user,\n"
                 "             it is handed over and the running player switches to it\n"
                 "  --help     show this help and exit\n"
                 "  --version  show the version and exit\n"
                 "\n"
                 "Keys: + next order, - previous order, a about, q quit.\n");
}

std::string AbsolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) return resolved;
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string file;
    bool haveFile = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("moddeck " MODDECK_VERSION "\n");
            return 0;
        }
        if (arg == "--") {
            if (i + 1 < argc) arg = argv[++i];
            else break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "moddeck: unknown option %s\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
        if (haveFile) {
            std::fprintf(stderr, "moddeck: one file at a time\n");
            return 2;
        }
        file = arg;
        haveFile = true;
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
            case ClaimResult::OtherRunning: {
                if (!haveFile) {
                    std::fprintf(stderr, "moddeck: a Moddeck already runs for this user\n");
                    return 0;
                }
                std::string absolute = AbsolutePath(file);
                if (absolute.empty()) {
                    std::fprintf(stderr, "moddeck: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
                    return 1;
                }
                switch (HandOverPath(socketPath, absolute)) {
                    case HandOverResult::Accepted: return 0;
                    case HandOverResult::Refused:
                        std::fprintf(stderr, "moddeck: the running Moddeck refused %s\n", absolute.c_str());
                        return 1;
                    case HandOverResult::NoAnswer:
                        std::fprintf(stderr, "moddeck: the running Moddeck did not answer\n");
                        return 1;
                }
                return 1;
            }
            case ClaimResult::Failed: break;
        }
    }
    if (!listener) std::fprintf(stderr, "moddeck: playing without the single-player socket: %s\n", error.c_str());

    Application app(listener.get(), isatty(STDIN_FILENO) && isatty(STDOUT_FILENO));
    if (haveFile) app.OpenFile(file);
    int status = app.Run();
    listener.reset();
    RememberSocketForCrash("");
    return status;
}
