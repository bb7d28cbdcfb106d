// The single-instance socket's message parser on any bytes. Besides staying
// in bounds, what it accepts must be exactly what the sender builds: an
// absolute path without NUL, and the message rebuilt from it is the input;
// a message cut short is never taken for a whole one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/message.h"

using namespace moddeck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path;
    const ParseStatus status = ParseOpenMessage(data, size, &path);
    if (status != ParseStatus::Complete) return 0;
    if (path.empty() || path[0] != '/' || path.size() > kMaxMessagePath ||
        path.find('\0') != std::string::npos)
        std::abort();
    const std::vector<uint8_t> rebuilt = BuildOpenMessage(path);
    if (rebuilt.size() != size || std::memcmp(rebuilt.data(), data, size) != 0) std::abort();
    std::string partial;
    if (ParseOpenMessage(data, size - 1, &partial) != ParseStatus::Incomplete) std::abort();
    return 0;
}
