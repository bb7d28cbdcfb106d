// The keys that move a module: "+" and "-" step the song position one entry
// of the order table. The main screen records keys into keyDown; the event
// loop applies them once per turn.
#pragma once

#include <cstdint>

namespace moddeck {

// Last recorded key (character code), 0 when none. Main thread only.
extern uint32_t keyDown;

// Records a key as the main window does: a space, "+" or "-" replaces
// keyDown; every other key leaves it unchanged.
void RecordKey(uint32_t key);

// One turn of the event loop: a recorded "+" or "-" asks the renderer to
// move by one entry at its next tick (only while a module plays: an Ogg
// stream or nothing has no order table to move in) and is consumed; any
// other key stays recorded. True when a step was asked for.
bool ApplyKeys();

}  // namespace moddeck
