#include "app/instance.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/message.h"

namespace moddeck {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kSocketName[] = "/moddeck.sock";
// Connections accepted in one service at most, so that a flood of them
// cannot hold the event loop.
constexpr size_t kAcceptsPerService = 64;
// How often a hand-off tries again to connect while the player's backlog
// is full.
constexpr std::chrono::milliseconds kConnectRetry{10};

bool MakeAddress(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path) return false;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A folder is safe when it is a real folder (not a link to one), ours, and
// closed to everyone else: then nobody else can plant or replace the socket.
bool IsPrivateFolder(const std::string& dir) {
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

// A non-blocking connection to `socketPath`, or -1 with errno set: EAGAIN
// when a player listens but its backlog is full.
int ConnectTo(const std::string& socketPath) {
    sockaddr_un addr;
    if (!MakeAddress(socketPath, &addr)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

// Waits until `fd` is ready for `events`; false when `deadline` passes first.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, int(std::min<int64_t>(left, 60000)));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

// Sends or receives `size` bytes on the non-blocking socket `fd`; false
// when the peer ends or fails, or `deadline` passes, first.
bool Exchange(int fd, uint8_t* data, size_t size, bool sending, Clock::time_point deadline) {
    for (size_t done = 0; done < size;) {
        const ssize_t n = sending ? send(fd, data + done, size - done, MSG_NOSIGNAL) : recv(fd, data + done, size - done, 0);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno == EAGAIN) {
            if (!WaitFor(fd, sending ? POLLOUT : POLLIN, deadline)) return false;
        } else if (n == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

// A quarter of the descriptors the process may open, within 4 .. kMaxPending.
size_t PendingRoom() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return InstanceListener::kMaxPending;
    return std::clamp<size_t>(limit.rlim_cur / 4, 4, InstanceListener::kMaxPending);
}

bool SameUser(int fd) {
    ucred cred;
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred) return false;
    return cred.uid == geteuid();
}

bool IsReadableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), R_OK) == 0;
}

void Answer(int fd, bool ok) {
    // The peer may be gone already; MSG_NOSIGNAL keeps that from killing us.
    const char* text = ok ? "OK\n" : "NO\n";
    [[maybe_unused]] ssize_t n = send(fd, text, 3, MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

std::string InstanceSocketPath(std::string* error) {
    std::string dir;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        dir = runtime;
        // The system makes this folder private; a stranger's folder is no
        // place for our socket.
        struct stat st;
        if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
            (st.st_mode & 077) != 0) {
            if (error) *error = "XDG_RUNTIME_DIR " + dir + " is not a private folder of this user";
            return {};
        }
    } else {
        dir = "/tmp/moddeck-" + std::to_string(geteuid());
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            if (error) *error = "cannot make " + dir + ": " + std::strerror(errno);
            return {};
        }
        if (!IsPrivateFolder(dir)) {
            if (error) *error = dir + " is not a private folder of this user";
            return {};
        }
    }
    std::string path = dir + kSocketName;
    sockaddr_un addr;
    if (!MakeAddress(path, &addr)) {
        if (error) *error = "socket path too long: " + path;
        return {};
    }
    return path;
}

ClaimResult ClaimInstance(const std::string& socketPath, int* listenFd, std::string* error) {
    sockaddr_un addr;
    if (!MakeAddress(socketPath, &addr)) {
        if (error) *error = "socket path too long";
        return ClaimResult::Failed;
    }
    for (int attempt = 0; attempt < 2; attempt++) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) break;
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            chmod(socketPath.c_str(), 0600);
            if (listen(fd, SOMAXCONN) == 0) {
                *listenFd = fd;
                return ClaimResult::Owner;
            }
            close(fd);
            break;
        }
        int bindError = errno;
        close(fd);
        if (bindError != EADDRINUSE) {
            errno = bindError;
            break;
        }
        int probe = ConnectTo(socketPath);
        if (probe >= 0 || errno == EAGAIN) {
            if (probe >= 0) close(probe);
            return ClaimResult::OtherRunning;
        }
        // Nobody listens: a player crashed and left its socket behind.
        if (attempt == 0 && (errno == ECONNREFUSED || errno == ENOENT)) {
            unlink(socketPath.c_str());
            continue;
        }
        break;
    }
    if (error) *error = "cannot listen on " + socketPath + ": " + std::strerror(errno);
    return ClaimResult::Failed;
}

HandOverResult HandOver(const std::string& socketPath, const Request& request, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> message = BuildMessage(request);
    if (message.empty()) return HandOverResult::Refused;
    const auto deadline = Clock::now() + timeout;
    int fd;
    while ((fd = ConnectTo(socketPath)) < 0 && errno == EAGAIN && Clock::now() < deadline)
        std::this_thread::sleep_for(kConnectRetry);
    if (fd < 0) return HandOverResult::NoAnswer;
    uint8_t reply[3] = {};
    const bool answered = Exchange(fd, message.data(), message.size(), true, deadline) && shutdown(fd, SHUT_WR) == 0 &&
                          Exchange(fd, reply, sizeof reply, false, deadline);
    close(fd);
    if (!answered) return HandOverResult::NoAnswer;
    return std::memcmp(reply, "OK\n", 3) == 0 ? HandOverResult::Accepted : HandOverResult::Refused;
}

InstanceListener::InstanceListener(int listenFd, std::string socketPath,
                                   std::chrono::milliseconds readDeadline)
    : listenFd_(listenFd), socketPath_(std::move(socketPath)), readDeadline_(readDeadline), room_(PendingRoom()) {}

InstanceListener::~InstanceListener() {
    for (Pending& p : pending_) close(p.fd);
    if (listenFd_ >= 0) {
        close(listenFd_);
        unlink(socketPath_.c_str());
    }
}

void InstanceListener::AddPollFds(std::vector<pollfd>& fds) const {
    if (listenFd_ >= 0) fds.push_back({listenFd_, POLLIN, 0});
    for (const Pending& p : pending_) fds.push_back({p.fd, POLLIN, 0});
}

void InstanceListener::Accept(std::vector<Request>& requests) {
    for (size_t n = 0; n < kAcceptsPerService; n++) {
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0 && (errno == EMFILE || errno == ENFILE) && !pending_.empty()) {
            Drop(OldestIdle());
            continue;
        }
        if (fd < 0) return;  // EAGAIN: nothing more waits
        // Another user's word never opens a file.
        if (!SameUser(fd)) {
            close(fd);
            continue;
        }
        // A client sends its message as it connects: most are answered here,
        // before any later arrival could push them out.
        Pending p{fd, Clock::now() + readDeadline_, {}};
        if (Read(p, requests)) {
            close(fd);
            continue;
        }
        if (pending_.size() >= room_) Drop(OldestIdle());
        pending_.push_back(std::move(p));
    }
}

void InstanceListener::Drop(size_t index) {
    Answer(pending_[index].fd, false);
    close(pending_[index].fd);
    pending_.erase(pending_.begin() + long(index));
}

size_t InstanceListener::OldestIdle() const {
    auto idle = std::find_if(pending_.begin(), pending_.end(), [](const Pending& p) { return p.bytes.empty(); });
    return idle == pending_.end() ? 0 : size_t(idle - pending_.begin());
}

bool InstanceListener::Read(Pending& p, std::vector<Request>& requests) {
    uint8_t chunk[4096];
    for (;;) {
        ssize_t n = recv(p.fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            // Never hold more than one message and a byte: the byte is enough
            // to see that the sender is saying too much.
            size_t room = kMaxMessageSize + 1 - p.bytes.size();
            p.bytes.insert(p.bytes.end(), chunk, chunk + (size_t(n) < room ? size_t(n) : room));
            if (p.bytes.size() > kMaxMessageSize) {
                Answer(p.fd, false);
                return true;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        bool ended = n == 0;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return true;
        }
        Request request;
        ParseStatus status = ParseMessage(p.bytes.data(), p.bytes.size(), &request);
        if (status == ParseStatus::Complete) {
            std::erase_if(request.paths, [](const std::string& path) { return !IsReadableFile(path); });
            const bool ok = request.command == Command::Quit || !request.paths.empty();
            if (ok) requests.push_back(std::move(request));
            Answer(p.fd, ok);
            return true;
        }
        if (status == ParseStatus::Malformed || ended) {
            Answer(p.fd, false);
            return true;
        }
        return false;  // a valid beginning; wait for the rest
    }
}

void InstanceListener::Service(std::vector<Request>& requests) {
    // Those that wait first, so that the ones that finish make room.
    const auto now = Clock::now();
    for (size_t i = 0; i < pending_.size();) {
        if (Read(pending_[i], requests)) {
            close(pending_[i].fd);
            pending_.erase(pending_.begin() + long(i));
        } else if (now >= pending_[i].deadline) {
            Drop(i);
        } else {
            i++;
        }
    }
    if (listenFd_ >= 0) Accept(requests);
}

}  // namespace moddeck
