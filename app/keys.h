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

// The position one entry from `position` in direction `delta` (+1 or -1),
// kept within 0..songLength-1: the keys stop at both ends of the song rather
// than wrap, so "-" at the start never jumps to the song's last order. A
// position already outside the table is brought back to its nearest end.
int32_t StepOrder(int32_t position, int delta, int32_t songLength);

// One turn of the event loop: a recorded "+" or "-" moves `pattern` by one
// entry (only while a module plays: an Ogg stream or nothing has no order
// table to move in) and is consumed; any other key stays recorded.
void ApplyKeys();

}  // namespace moddeck
