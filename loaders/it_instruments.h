// Impulse Tracker instruments: the two layouts of the 554-byte "IMPI"
// record read into the song's instrument record. Instruments name the
// song's sample slots through their note map and own no samples.
#pragma once

#include "song/reader.h"
#include "song/song.h"

namespace moddeck {

// The instrument at the reader's position: the layout of trackers from
// 2.00 on (three envelopes, new-note actions, filter) when `newFormat`,
// else the older one (a volume envelope of nodes, a duplicate-note check).
// Every value is kept within the record's ranges, whatever the bytes say.
void ReadITInstrument(SNDMyFILE* r, ModInstrument& ins, bool newFormat);

}  // namespace moddeck
