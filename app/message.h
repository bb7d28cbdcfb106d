// The one message a second `moddeck` sends to the running one: play these
// files, add them to the playlist, or quit. Parsing is a pure function over
// bytes so that it can be fuzzed.
//
// Layout: the 4 bytes "MDK2", a command byte ('O' play instead of the
// playlist, 'E' enqueue, 'Q' quit), the payload length as a 32-bit
// little-endian count, then the payload: the paths one after the other,
// each followed by one NUL byte; each absolute and 1..4095 bytes long.
// Quit carries no path, the others at least one. Nothing may follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace moddeck {

constexpr char kMessageMagic[4] = {'M', 'D', 'K', '2'};
constexpr size_t kMessageHeaderSize = 9;
constexpr size_t kMaxMessagePath = 4095;  // PATH_MAX with its NUL
constexpr size_t kMaxMessagePayload = 256 * 1024;
constexpr size_t kMaxMessageSize = kMessageHeaderSize + kMaxMessagePayload;

enum class Command : uint8_t { Open = 'O', Enqueue = 'E', Quit = 'Q' };

struct Request {
    Command command = Command::Open;
    std::vector<std::string> paths;
};

enum class ParseStatus {
    Incomplete,  // a valid beginning: more bytes are needed
    Complete,    // exactly one whole message; the request is set
    Malformed,   // wrong magic or command, bad length, a bad path, extra bytes
};

// Parses the `size` bytes received so far. Never reads past `size`.
ParseStatus ParseMessage(const uint8_t* data, size_t size, Request* request);

// The message that carries `request`; empty when it cannot be sent (a path
// empty, relative, too long or holding a NUL; paths with Quit, none with
// the others; more than kMaxMessagePayload bytes of paths).
std::vector<uint8_t> BuildMessage(const Request& request);

}  // namespace moddeck
