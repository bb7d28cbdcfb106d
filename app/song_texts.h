// What the screen shows of a file besides where it plays: the About view's
// texts (the title and the message: the names of the samples and
// instruments, where composers write) and the instrument view's lines,
// built once when a module is opened.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "moddeck/moddeck.h"

namespace moddeck {

// The About texts, held to a title of a path's length and a message of
// every name an XM can hold, each of them three bytes a character.
constexpr size_t kTitleBytes = 255;
constexpr size_t kSampleNamesBytes = 32767;

struct AboutTexts {
    std::string title;
    std::string samples;  // the message: a line each, ending in '\n'
    std::string caption = "Message:";
};

// `text` cut to at most `bytes` bytes, never inside a UTF-8 sequence: half
// a character would show as garbage.
std::string Utf8Prefix(const std::string& text, size_t bytes);

// The About texts of a module: its title, and its message: an IT's song
// message, if it has one; then every sample name of a MOD or S3M in slot
// order, empty ones included, as the block of text composers wrote in
// them; an XM's or IT's instrument names, then its sample names (an XM's
// when any says more than its instrument's). Names come as UTF-8 from
// the library, their trailing spaces dropped; each text is cut at a
// character to its size.
AboutTexts AboutTextsOf(const moddeck_song* song);

// The instrument view: one numbered line per sample slot of a MOD or S3M
// song (name, length, loop, volume, finetune), slots up to the last one in
// use, empty ones as "-"; for an XM song each instrument with its samples
// beneath it; for an IT song "Instruments:" and its instruments numbered
// (in instrument mode), then "Samples:" and its slots. Names are shown as far as their field goes, in a column of
// 22 characters.
std::vector<std::string> InstrumentLines(const moddeck_song* song);

}  // namespace moddeck
