#include "app/keys.h"

#include <algorithm>

#include "app/open_file.h"
#include "engine/state.h"

namespace moddeck {

uint32_t keyDown = 0;

void RecordKey(uint32_t key) {
    if (key == ' ' || key == '+' || key == '-') keyDown = key;
}

int32_t StepOrder(int32_t position, int delta, int32_t songLength) {
    if (songLength <= 0) return 0;
    int64_t next = int64_t(position) + delta;
    return int32_t(std::clamp<int64_t>(next, 0, songLength - 1));
}

void ApplyKeys() {
    if (keyDown != '+' && keyDown != '-') return;
    int delta = keyDown == '+' ? 1 : -1;
    keyDown = 0;
    if (openedFile.status != OpenStatus::ModulePlaying) return;
    // The renderer moves the position too; retry so that its own step and
    // ours never overwrite one another.
    int32_t current = pattern.load();
    while (!pattern.compare_exchange_weak(current, StepOrder(current, delta, openedFile.songLength))) {
    }
}

}  // namespace moddeck
