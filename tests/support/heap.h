// The allocator's own count of the bytes the program holds, for the tests
// that check memory comes back. glibc only; under AddressSanitizer, whose
// allocator keeps its own books, the counts mean nothing and its leak
// checker takes over (kCountBytes is false).
#pragma once

#include <malloc.h>

#include <cstddef>

namespace moddeck::test {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCountBytes = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kCountBytes = false;
#else
constexpr bool kCountBytes = true;
#endif
#else
constexpr bool kCountBytes = true;
#endif

// Large blocks (a song record) are mapped on their own and counted apart.
inline size_t BytesInUse() {
    struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

}  // namespace moddeck::test
