// The instrument view: one numbered line per sample slot of a MOD or S3M
// song (name, length, loop, volume, finetune), and for an XM song each
// instrument with its samples beneath it.
#pragma once

#include <string>
#include <vector>

#include "song/song.h"

namespace moddeck {

// The lines of the view for `song`, built from the loaded record. Names are
// shown as far as their field goes, control bytes as '?'; slots up to the
// last one in use are listed, empty ones as "-".
std::vector<std::string> InstrumentLines(const Mod& song);

}  // namespace moddeck
