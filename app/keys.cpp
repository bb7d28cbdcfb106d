#include "app/keys.h"

#include "app/open_file.h"
#include "engine/player.h"
#include "engine/sequencer.h"

namespace moddeck {

uint32_t keyDown = 0;

void RecordKey(uint32_t key) {
    if (key == ' ' || key == '+' || key == '-') keyDown = key;
}

bool ApplyKeys() {
    if (keyDown != '+' && keyDown != '-') return false;
    int delta = keyDown == '+' ? 1 : -1;
    keyDown = 0;
    if (openedFile.status != OpenStatus::ModulePlaying) return false;
    // The renderer moves the position itself: the step is handed to it, so
    // that its own moves and ours never overwrite one another.
    RequestOrderStep(ProcessPlayer(), delta);
    return true;
}

}  // namespace moddeck
