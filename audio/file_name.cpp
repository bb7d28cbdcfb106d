#include "audio/file_name.h"

#include <cstdio>

#include "moddeck/moddeck.h"

namespace moddeck {

namespace {

std::string Escaped(unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    return hex;
}

// The length of the valid UTF-8 character at `at` (1 for ASCII), 0 for a
// byte that starts none: the library's decoder keeps valid UTF-8 as it is,
// so a character is valid when it comes back unchanged.
size_t CharacterAt(const std::string& s, size_t at) {
    const unsigned char c = static_cast<unsigned char>(s[at]);
    if (c < 0x80) return 1;
    const size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (n == 0 || at + n > s.size()) return 0;
    char out[8];
    moddeck_text_utf8(s.data() + at, n, out, sizeof out);
    return s.compare(at, n, out) == 0 ? n : 0;
}

}  // namespace

std::string ReadableFileName(const std::string& path) {
    std::string out;
    for (size_t i = 0; i < path.size();) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        const size_t n = c < 0x20 || c == 0x7F ? 0 : CharacterAt(path, i);
        if (n == 0) {
            out += Escaped(c);
            i++;
        } else {
            out.append(path, i, n);
            i += n;
        }
    }
    return out;
}

}  // namespace moddeck
