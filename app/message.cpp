#include "app/message.h"

#include <cstring>

namespace moddeck {

ParseStatus ParseOpenMessage(const uint8_t* data, size_t size, std::string* path) {
    if (size == 0) return ParseStatus::Incomplete;
    size_t magicBytes = size < sizeof kMessageMagic ? size : sizeof kMessageMagic;
    if (std::memcmp(data, kMessageMagic, magicBytes) != 0) return ParseStatus::Malformed;
    if (size < kMessageHeaderSize) return ParseStatus::Incomplete;

    uint32_t length = uint32_t(data[4]) | uint32_t(data[5]) << 8 | uint32_t(data[6]) << 16 |
                      uint32_t(data[7]) << 24;
    if (length == 0 || length > kMaxMessagePath) return ParseStatus::Malformed;
    const uint8_t* text = data + kMessageHeaderSize;
    size_t received = size - kMessageHeaderSize;
    size_t checked = received < length ? received : length;
    if (checked > 0 && text[0] != '/') return ParseStatus::Malformed;
    if (std::memchr(text, '\0', checked)) return ParseStatus::Malformed;
    if (received < length) return ParseStatus::Incomplete;
    if (received > length) return ParseStatus::Malformed;
    if (path) path->assign(reinterpret_cast<const char*>(text), length);
    return ParseStatus::Complete;
}

std::vector<uint8_t> BuildOpenMessage(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.size() > kMaxMessagePath ||
        path.find('\0') != std::string::npos)
        return {};
    std::vector<uint8_t> out(kMessageMagic, kMessageMagic + sizeof kMessageMagic);
    uint32_t n = uint32_t(path.size());
    for (int i = 0; i < 4; i++) out.push_back(uint8_t(n >> (8 * i)));
    out.insert(out.end(), path.begin(), path.end());
    return out;
}

}  // namespace moddeck
