// Names and titles as the files hold them, as UTF-8. Trackers wrote in the
// code page of their machine: DOS's CP437 for most modules, Latin-1 for
// some, UTF-8 for a few new ones and for Vorbis comments; which one is
// decided per string.
#pragma once

#include <cstddef>
#include <string>

namespace moddeck {

// `size` bytes of text as UTF-8: valid UTF-8 as it is; otherwise Latin-1
// when every byte above 0x7F is a Latin-1 letter beside another letter,
// else CP437. Bytes below 0x20 and 0x7F become spaces, so that no text can
// drive a terminal.
std::string DecodeText(const char* bytes, size_t size);

// `text` cut to at most `bytes` bytes, never inside a UTF-8 sequence.
std::string Utf8Cut(const std::string& text, size_t bytes);

}  // namespace moddeck
