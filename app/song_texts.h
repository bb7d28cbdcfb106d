// What the screen shows of a file besides where it plays: the About view's
// texts (the title and the sample names) and the instrument view's lines,
// built once when a module is opened.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "moddeck/moddeck.h"

namespace moddeck {

// The About texts, held to the sizes the view has always shown: a title of
// a path's length and a page of names.
constexpr size_t kTitleBytes = 255;
constexpr size_t kSampleNamesBytes = 4095;

struct AboutTexts {
    std::string title;
    std::string samples;  // a name per line, each ending in '\n'
};

// `text` cut to at most `bytes` bytes, never inside a UTF-8 sequence: half
// a character would show as garbage.
std::string Utf8Prefix(const std::string& text, size_t bytes);

// The About texts of a module: its title, and the names of the MOD and S3M
// samples that hold data (an XM's samples belong to its instruments, which
// the instrument view lists), each text cut at a character boundary to its
// size.
AboutTexts AboutTextsOf(const moddeck_song* song);

// The instrument view: one numbered line per sample slot of a MOD or S3M
// song (name, length, loop, volume, finetune), slots up to the last one in
// use, empty ones as "-"; for an XM song each instrument with its samples
// beneath it. Names are shown as far as their field goes, control bytes as
// '?'.
std::vector<std::string> InstrumentLines(const moddeck_song* song);

}  // namespace moddeck
