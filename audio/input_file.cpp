#include "audio/input_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <new>

#include "audio/ogg_player.h"

namespace moddeck {

namespace {

// Set by a quit signal's handler, never cleared.
std::atomic<bool> readingAbandoned{false};
static_assert(std::atomic<bool>::is_always_lock_free, "stored from a signal handler");

// One read of a file: a few milliseconds even where every page has to be
// mapped anew, so that an abandoned load ends at once.
constexpr size_t kFilePieceBytes = size_t{4} << 20;
// One read of a stream: what a pipe holds.
constexpr size_t kStreamPieceBytes = size_t{64} << 10;
// A wait for a stream's next bytes looks this often whether reading has
// been abandoned: a signal that came just before the wait does not end it.
constexpr int kStreamWaitMs = 50;

bool Finish(moddeck_refusal reason, std::vector<uint8_t>& out, moddeck_refusal* why) {
    if (reason != MODDECK_OK) {
        out.clear();
        out.shrink_to_fit();
    }
    if (why) *why = reason;
    return reason == MODDECK_OK;
}

// Makes room for `size` bytes in `out` without touching them, so that the
// bytes never move while they are read; false when the memory cannot be had.
bool Reserve(std::vector<uint8_t>& out, size_t size) noexcept {
    if (out.capacity() >= size) return true;
    try {
        out.reserve(size);
    } catch (const std::bad_alloc&) {
        return false;
    }
    AdviseHugePages(out.data(), out.capacity());
    return true;
}

// The most bytes that a file whose first `size` bytes are `head` may hold:
// only an Ogg Vorbis stream, told by its first page, may be larger than a
// module can be.
size_t LimitOf(const uint8_t* head, size_t size, size_t limit) {
    return IdentifyOgg(head, size).refusal == MODDECK_OK ? limit : std::min(limit, MODDECK_MAX_MODULE_BYTES);
}

// Why the regular file open at `fd` cannot be read whole from its read
// position on, told from its kind, its size and its first bytes; MODDECK_OK
// with the bytes to read in *size when it can.
moddeck_refusal CheckFile(int fd, size_t limit, size_t* size) {
    struct stat st;
    if (fstat(fd, &st) != 0) return RefusalOfErrno(errno);
    if (S_ISDIR(st.st_mode)) return MODDECK_IS_A_DIRECTORY;
    if (!S_ISREG(st.st_mode)) return MODDECK_NOT_A_REGULAR_FILE;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at < 0 || st.st_size <= at) return MODDECK_EMPTY_FILE;
    const uint64_t bytes = uint64_t(st.st_size - at);
    if (bytes > limit) return MODDECK_TOO_LARGE;
    uint8_t head[512];  // a first page's header and segment table, and 16 bytes of its packet
    const ssize_t got = pread(fd, head, sizeof head, at);
    if (got < 0) return RefusalOfErrno(errno);
    if (bytes > LimitOf(head, size_t(got), limit)) return MODDECK_TOO_LARGE;
    *size = size_t(bytes);
    return MODDECK_OK;
}

// Reads up to `size` bytes of a file a piece at a time. A file that shrank
// meanwhile is taken as it was cut.
moddeck_refusal ReadPieces(int fd, size_t size, std::vector<uint8_t>& out) {
    if (!Reserve(out, size)) return MODDECK_TOO_LARGE;
    size_t got = 0;
    while (got < size && !ReadingAbandoned()) {
        const size_t piece = std::min(kFilePieceBytes, size - got);
        out.resize(got + piece);  // within the reserve: no allocation
        const ssize_t n = read(fd, out.data() + got, piece);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    out.resize(got);
    return got == 0 || ReadingAbandoned() ? MODDECK_UNREADABLE : MODDECK_OK;
}

moddeck_refusal ReadRegularFile(int fd, size_t limit, std::vector<uint8_t>& out) {
    size_t size = 0;
    const moddeck_refusal reason = CheckFile(fd, limit, &size);
    return reason == MODDECK_OK ? ReadPieces(fd, size, out) : reason;
}

// Waits until `fd` has bytes, its end or an error to tell; false once
// reading is abandoned.
bool AwaitBytes(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (!ReadingAbandoned()) {
        const int r = poll(&p, 1, kStreamWaitMs);
        if (r > 0 || (r < 0 && errno != EINTR)) return true;
    }
    return false;
}

// Reads a stream to its end, holding its limit and one byte at most: the
// byte is enough to know that it is too large.
moddeck_refusal ReadStream(int fd, size_t limit, std::vector<uint8_t>& out) {
    size_t got = 0;
    for (;;) {
        if (!AwaitBytes(fd)) return MODDECK_UNREADABLE;
        const size_t most = LimitOf(out.data(), got, limit) + 1;
        if (!Reserve(out, most)) return MODDECK_TOO_LARGE;
        const size_t piece = std::min(kStreamPieceBytes, most - got);
        out.resize(got + piece);  // within the reserve: no allocation
        const ssize_t n = read(fd, out.data() + got, piece);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return RefusalOfErrno(errno);
        if (n == 0) break;
        got += size_t(n);
        if (got > LimitOf(out.data(), got, limit)) return MODDECK_TOO_LARGE;
    }
    out.resize(got);
    return got == 0 ? MODDECK_EMPTY_FILE : MODDECK_OK;
}

}  // namespace

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, size_t limit, moddeck_refusal* why) {
    out.clear();
    // O_NONBLOCK: a FIFO named as a file must not hold the player waiting
    // for a writer; it is refused as not a regular file.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Finish(RefusalOfErrno(errno), out, why);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const moddeck_refusal reason = ReadRegularFile(fd, limit, out);
    close(fd);
    return Finish(reason, out, why);
}

bool ReadWholeStream(int fd, std::vector<uint8_t>& out, size_t limit, moddeck_refusal* why) {
    out.clear();
    // Room for the byte past the limit.
    limit = std::min(limit, SIZE_MAX - 1);
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    return Finish(regular ? ReadRegularFile(fd, limit, out) : ReadStream(fd, limit, out), out, why);
}

void AdviseHugePages(uint8_t* data, size_t size) {
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHugePage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void AbandonReading() { readingAbandoned.store(true, std::memory_order_relaxed); }

bool ReadingAbandoned() { return readingAbandoned.load(std::memory_order_relaxed); }

moddeck_refusal RefusalOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR: return MODDECK_NO_SUCH_FILE;
        case EISDIR: return MODDECK_IS_A_DIRECTORY;
        case EACCES:
        case EPERM: return MODDECK_PERMISSION_DENIED;
        case ENAMETOOLONG: return MODDECK_PATH_TOO_LONG;
        case EFBIG:
        case EOVERFLOW: return MODDECK_TOO_LARGE;
        default: return MODDECK_UNREADABLE;
    }
}

}  // namespace moddeck
