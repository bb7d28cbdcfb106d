#include "audio/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace moddeck {

namespace {

bool Refuse(moddeck_refusal reason, std::vector<uint8_t>& out, moddeck_refusal* why) {
    out.clear();
    out.shrink_to_fit();
    if (why) *why = reason;
    return false;
}

}  // namespace

bool ReadWholeFile(const char* path, std::vector<uint8_t>& out, size_t limit, moddeck_refusal* why) {
    out.clear();
    // O_NONBLOCK: a FIFO named as a file must not hold the player waiting
    // for a writer; it is refused below as not a regular file.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Refuse(RefusalOfErrno(errno), out, why);
    struct stat st;
    moddeck_refusal reason = MODDECK_OK;
    if (fstat(fd, &st) != 0)
        reason = RefusalOfErrno(errno);
    else if (S_ISDIR(st.st_mode))
        reason = MODDECK_IS_A_DIRECTORY;
    else if (!S_ISREG(st.st_mode))
        reason = MODDECK_NOT_A_REGULAR_FILE;
    else if (st.st_size == 0)
        reason = MODDECK_EMPTY_FILE;
    else if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > limit)
        reason = MODDECK_TOO_LARGE;
    if (reason != MODDECK_OK) {
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
    if (got == 0) return Refuse(MODDECK_UNREADABLE, out, why);
    out.resize(got);
    if (why) *why = MODDECK_OK;
    return true;
}

bool ReadWholeStream(int fd, std::vector<uint8_t>& out, size_t limit, moddeck_refusal* why) {
    out.clear();
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Refuse(RefusalOfErrno(errno), out, why);
        if (n == 0) break;
        if (out.size() + static_cast<size_t>(n) > limit) return Refuse(MODDECK_TOO_LARGE, out, why);
        out.insert(out.end(), chunk, chunk + n);
    }
    if (out.empty()) return Refuse(MODDECK_EMPTY_FILE, out, why);
    if (why) *why = MODDECK_OK;
    return true;
}

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
