// Reading the files a player is given: whole, into memory, with the reason
// when it cannot be done.
//
// Size and kind are told before anything is read: only an Ogg Vorbis
// stream may be larger than a module can be, so a file whose first page is
// not one is refused past MODDECK_MAX_MODULE_BYTES from its size alone.
// Reading goes in pieces, and a process that is ending abandons it between
// two pieces (AbandonReading), so that no load keeps it waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "moddeck/moddeck.h"

namespace moddeck {

// Reads the regular file at `path` whole into `out`. False, with `out`
// empty and the reason in *why (when given), when it cannot be opened or
// read, is not a regular file (a directory), is empty, holds more than
// `limit` bytes (an Ogg Vorbis stream) or more than MODDECK_MAX_MODULE_BYTES
// (any other file), or when reading has been abandoned (MODDECK_UNREADABLE).
bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, size_t limit, moddeck_refusal* why = nullptr);
// The same for whatever the descriptor `fd` delivers until its end (standard
// input): a stream larger than its limit is refused as soon as it passes it,
// having held the limit and one byte at most; a regular file behind `fd` is
// refused from its size, as ReadWholeFile refuses it.
bool ReadWholeStream(int fd, std::vector<uint8_t>& out, size_t limit, moddeck_refusal* why = nullptr);

// Gives up every read in progress or to come, for good: the process is
// ending. Async-signal-safe (one lock-free store), for a quit signal's
// handler; a read notices within one piece or 50 ms of waiting.
void AbandonReading();
// True once reading has been abandoned: other long work on a file's bytes
// (copying a large image) gives up too.
bool ReadingAbandoned();

// Asks for huge pages under the whole 2 MiB pages of a block that is to
// hold a large file image: holding 256 MiB (all that a stream which is no
// module can make us hold before it is refused) then takes a hundred-odd
// page faults rather than 65,536, and letting it go is as quick.
void AdviseHugePages(uint8_t* data, size_t size);

// The refusal that an errno value from opening or reading a file means.
moddeck_refusal RefusalOfErrno(int error);

}  // namespace moddeck
