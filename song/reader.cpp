#include "song/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace moddeck {

size_t ReaderRead(SNDMyFILE* r, void* dst, size_t n) {
    if (n == 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(dst);
    int64_t left = ReaderRemaining(r);
    size_t got = static_cast<int64_t>(n) < left ? n : static_cast<size_t>(left);
    if (got > 0) std::memcpy(out, r->data + r->pos, got);
    if (got < n) std::memset(out + got, 0, n - got);
    r->pos += static_cast<int64_t>(n);
    return got;
}

void ReaderSkip(SNDMyFILE* r, int64_t n) {
    if (n > 0) r->pos += n;
}

void ReaderSeek(SNDMyFILE* r, int64_t offset) {
    r->pos = offset < 0 ? 0 : offset;
}

int64_t ReaderRemaining(const SNDMyFILE* r) {
    return r->pos < r->size ? r->size - r->pos : 0;
}

uint8_t ReadU8(SNDMyFILE* r) {
    uint8_t b = 0;
    ReaderRead(r, &b, 1);
    return b;
}

uint16_t ReadU16(SNDMyFILE* r) {
    uint8_t b[2];
    ReaderRead(r, b, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t ReadU32(SNDMyFILE* r) {
    uint8_t b[4];
    ReaderRead(r, b, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

namespace {

bool Refuse(Refusal reason, std::vector<uint8_t>& out, Refusal* why) {
    out.clear();
    out.shrink_to_fit();
    if (why) *why = reason;
    return false;
}

}  // namespace

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, size_t limit, Refusal* why) {
    out.clear();
    // O_NONBLOCK: a FIFO named as a file must not hold the player waiting
    // for a writer; it is refused below as not a regular file.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Refuse(RefusalOfErrno(errno), out, why);
    struct stat st;
    Refusal reason = Refusal::None;
    if (fstat(fd, &st) != 0)
        reason = RefusalOfErrno(errno);
    else if (S_ISDIR(st.st_mode))
        reason = Refusal::IsADirectory;
    else if (!S_ISREG(st.st_mode))
        reason = Refusal::NotARegularFile;
    else if (st.st_size == 0)
        reason = Refusal::EmptyFile;
    else if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > limit)
        reason = Refusal::TooLarge;
    if (reason != Refusal::None) {
        close(fd);
        return Refuse(reason, out, why);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    // A file that shrank while we read it is taken as it was cut.
    if (got == 0) return Refuse(Refusal::Unreadable, out, why);
    out.resize(got);
    if (why) *why = Refusal::None;
    return true;
}

bool ReadWholeStream(int fd, std::vector<uint8_t>& out, size_t limit, Refusal* why) {
    out.clear();
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Refuse(RefusalOfErrno(errno), out, why);
        if (n == 0) break;
        if (out.size() + static_cast<size_t>(n) > limit) return Refuse(Refusal::TooLarge, out, why);
        out.insert(out.end(), chunk, chunk + n);
    }
    if (out.empty()) return Refuse(Refusal::EmptyFile, out, why);
    if (why) *why = Refusal::None;
    return true;
}

}  // namespace moddeck
