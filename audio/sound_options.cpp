#include "audio/sound_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace moddeck {

const char* const kSoundOptionsHelp =
    "  --interpolation none|linear|cubic|sinc\n"
    "             how samples are read between their frames (default linear;\n"
    "             sinc, over eight frames, is the cleanest)\n"
    "  --ramping, --no-ramping\n"
    "             ramp every change of volume and panning over 1.5 ms (no clicks)\n"
    "  --separation PERCENT\n"
    "             stereo width, 0 (mono) to 200 (default 100)\n"
    "  --amiga, --no-amiga\n"
    "             MOD files at the PAL Amiga's pitch with its hard left/right channels\n";

namespace {
const char* const kInterpolationNames[] = {"none", "linear", "cubic", "sinc"};
}  // namespace

bool InterpolationNamed(const char* name, moddeck_interpolation& out) {
    for (int k = 0; k < 4; k++)
        if (std::strcmp(name, kInterpolationNames[k]) == 0) {
            out = static_cast<moddeck_interpolation>(MODDECK_INTERPOLATION_NONE + k);
            return true;
        }
    return false;
}

const char* InterpolationName(moddeck_interpolation interpolation) {
    const int k = interpolation - MODDECK_INTERPOLATION_NONE;
    return k >= 0 && k < 4 ? kInterpolationNames[k] : "linear";
}

namespace {

bool PercentNamed(const char* text, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 200) return false;
    out = static_cast<int>(value);
    return true;
}

}  // namespace

SoundOptionRead ReadSoundOption(int argc, char** argv, int& i, SoundOptions& options, const char* program) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--ramping") == 0 || std::strcmp(arg, "--no-ramping") == 0) {
        options.ramping = arg[2] == 'r';
    } else if (std::strcmp(arg, "--amiga") == 0 || std::strcmp(arg, "--no-amiga") == 0) {
        options.amiga = arg[2] == 'a';
    } else if (std::strcmp(arg, "--interpolation") == 0 || std::strcmp(arg, "--separation") == 0) {
        const bool interpolation = arg[2] == 'i';
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value || !(interpolation ? InterpolationNamed(value, options.interpolation)
                                      : PercentNamed(value, options.separation))) {
            std::fprintf(stderr, "%s: %s takes %s\n", program, arg,
                         interpolation ? "none, linear, cubic or sinc" : "a percentage from 0 to 200");
            return SoundOptionRead::Bad;
        }
        i++;
    } else {
        return SoundOptionRead::NotOne;
    }
    return SoundOptionRead::Taken;
}

void ApplySoundOptions(moddeck_player* player, const SoundOptions& options) {
    moddeck_player_set_interpolation(player, options.interpolation);
    moddeck_player_set_ramping(player, options.ramping);
    moddeck_player_set_stereo_separation(player, options.separation);
    moddeck_player_set_amiga(player, options.amiga);
}

}  // namespace moddeck
