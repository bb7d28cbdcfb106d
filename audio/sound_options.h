// The listener's choices of sound as the programs take them from their
// command lines (moddeck, moddeck-render, moddeck-bench), and their
// handing to a player.
#pragma once

#include "moddeck/moddeck.h"

namespace moddeck {

struct SoundOptions {
    moddeck_interpolation interpolation = MODDECK_INTERPOLATION_LINEAR;
    bool ramping = false;
    int separation = 100;  // percent, 0..200
    bool amiga = false;
};

// The options' lines for --help.
extern const char* const kSoundOptionsHelp;

enum class SoundOptionRead {
    NotOne,  // argv[i] is no sound option
    Taken,   // read into the options; `i` is on its last word
    Bad,     // its value is missing or wrong: a message went to standard error
};

// Reads the sound option at argv[i] (with its value at argv[i + 1] when it
// takes one) into `options`. `program` starts the message of a bad one.
SoundOptionRead ReadSoundOption(int argc, char** argv, int& i, SoundOptions& options, const char* program);

// The interpolation's option word ("none", "linear", "cubic", "sinc") and
// back; false for a word that names none.
const char* InterpolationName(moddeck_interpolation interpolation);
bool InterpolationNamed(const char* name, moddeck_interpolation& out);

// Gives the player the choices.
void ApplySoundOptions(moddeck_player* player, const SoundOptions& options);

}  // namespace moddeck
