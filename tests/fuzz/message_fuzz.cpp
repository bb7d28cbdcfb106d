// The single-instance socket's message parser on any bytes. Besides staying
// in bounds, what it accepts must be exactly what the sender builds: the
// message rebuilt from the request is the input; a message cut short is
// never taken for a whole one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/message.h"

using namespace moddeck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Request request;
    const ParseStatus status = ParseMessage(data, size, &request);
    if (status != ParseStatus::Complete) return 0;
    const std::vector<uint8_t> rebuilt = BuildMessage(request);
    if (rebuilt.size() != size || std::memcmp(rebuilt.data(), data, size) != 0) std::abort();
    if (ParseMessage(data, size - 1, nullptr) != ParseStatus::Incomplete) std::abort();
    return 0;
}
