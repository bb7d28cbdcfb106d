#include "loaders/loaders.h"

namespace moddeck {

// Scream Tracker 3 modules arrive with their loader.
bool ReadS3MSong(Mod*) { return false; }

}  // namespace moddeck
