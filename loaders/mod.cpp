#include "loaders/loaders.h"

namespace moddeck {

// Amiga modules arrive with their loader.
bool ReadMODSong(Mod*) { return false; }

}  // namespace moddeck
