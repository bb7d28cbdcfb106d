// The one message a second `moddeck` sends to the running one: "open this
// file". Parsing is a pure function over bytes so that it can be fuzzed.
//
// Layout: the 4 bytes "MDK1", the path length as a 32-bit little-endian
// count, then the path: absolute, 1..4095 bytes, no NUL byte. Nothing may
// follow it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace moddeck {

constexpr char kMessageMagic[4] = {'M', 'D', 'K', '1'};
constexpr size_t kMessageHeaderSize = 8;
constexpr size_t kMaxMessagePath = 4095;  // fits fname_tmp with its NUL
constexpr size_t kMaxMessageSize = kMessageHeaderSize + kMaxMessagePath;

enum class ParseStatus {
    Incomplete,  // a valid beginning: more bytes are needed
    Complete,    // exactly one whole message; the path is set
    Malformed,   // wrong magic, bad length, NUL or relative path, extra bytes
};

// Parses the `size` bytes received so far. Never reads past `size`.
ParseStatus ParseOpenMessage(const uint8_t* data, size_t size, std::string* path);

// The message that asks for `path`; empty when the path cannot be sent
// (empty, relative, too long, holding a NUL).
std::vector<uint8_t> BuildOpenMessage(const std::string& path);

}  // namespace moddeck
