// File names as people read them. A name is bytes: one that is not UTF-8
// (written under another locale) is shown whole, each byte that is no
// character escaped, so that its dot and extension stay and no byte can
// drive the terminal.
#pragma once

#include <string>

namespace moddeck {

// `path` with each byte that is not part of a valid UTF-8 character, and
// each control byte, written as \xNN.
std::string ReadableFileName(const std::string& path);

}  // namespace moddeck
