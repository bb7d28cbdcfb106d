#include "app/message.h"

#include <cstring>

namespace moddeck {

namespace {

bool KnownCommand(uint8_t c) { return c == uint8_t(Command::Open) || c == uint8_t(Command::Enqueue) || c == uint8_t(Command::Quit); }

bool SendablePath(const std::string& path) {
    return !path.empty() && path[0] == '/' && path.size() <= kMaxMessagePath && path.find('\0') == std::string::npos;
}

}  // namespace

ParseStatus ParseMessage(const uint8_t* data, size_t size, Request* request) {
    if (size == 0) return ParseStatus::Incomplete;
    size_t magicBytes = size < sizeof kMessageMagic ? size : sizeof kMessageMagic;
    if (std::memcmp(data, kMessageMagic, magicBytes) != 0) return ParseStatus::Malformed;
    if (size > 4 && !KnownCommand(data[4])) return ParseStatus::Malformed;
    if (size < kMessageHeaderSize) return ParseStatus::Incomplete;

    const auto command = static_cast<Command>(data[4]);
    const uint32_t length = uint32_t(data[5]) | uint32_t(data[6]) << 8 | uint32_t(data[7]) << 16 | uint32_t(data[8]) << 24;
    if (length > kMaxMessagePayload || (command == Command::Quit) != (length == 0)) return ParseStatus::Malformed;
    const uint8_t* payload = data + kMessageHeaderSize;
    const size_t received = size - kMessageHeaderSize;
    if (received > length) return ParseStatus::Malformed;

    // Every path seen so far, whole or not, must be a possible one.
    Request parsed{command, {}};
    size_t start = 0;
    for (size_t i = 0; i < received; i++) {
        if (i == start && payload[i] != '/') return ParseStatus::Malformed;
        if (i - start >= kMaxMessagePath && payload[i] != '\0') return ParseStatus::Malformed;
        if (payload[i] != '\0') continue;
        if (i == start) return ParseStatus::Malformed;  // an empty path
        parsed.paths.emplace_back(reinterpret_cast<const char*>(payload + start), i - start);
        start = i + 1;
    }
    if (received < length) return ParseStatus::Incomplete;
    if (start != received) return ParseStatus::Malformed;  // the last path lacks its NUL
    if (request) *request = std::move(parsed);
    return ParseStatus::Complete;
}

std::vector<uint8_t> BuildMessage(const Request& request) {
    if ((request.command == Command::Quit) != request.paths.empty()) return {};
    std::vector<uint8_t> payload;
    for (const std::string& path : request.paths) {
        if (!SendablePath(path)) return {};
        payload.insert(payload.end(), path.begin(), path.end());
        payload.push_back(0);
    }
    if (payload.size() > kMaxMessagePayload) return {};
    std::vector<uint8_t> out(kMessageMagic, kMessageMagic + sizeof kMessageMagic);
    out.push_back(uint8_t(request.command));
    const auto n = uint32_t(payload.size());
    for (int i = 0; i < 4; i++) out.push_back(uint8_t(n >> (8 * i)));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

}  // namespace moddeck
