// Reading the files a player is given: whole, into memory, with the reason
// when it cannot be done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "moddeck/moddeck.h"

namespace moddeck {

// Reads the regular file at `path` whole into `out`. False, with `out`
// empty and the reason in *why (when given), when it cannot be opened or
// read, is not a regular file (a directory), is empty, or holds more than
// `limit` bytes.
bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, size_t limit, moddeck_refusal* why = nullptr);
// The same for whatever the descriptor `fd` delivers until its end (standard
// input): a stream larger than `limit` is refused as soon as it passes it,
// without being held.
bool ReadWholeStream(int fd, std::vector<uint8_t>& out, size_t limit, moddeck_refusal* why = nullptr);

// The refusal that an errno value from opening or reading a file means.
moddeck_refusal RefusalOfErrno(int error);

}  // namespace moddeck
