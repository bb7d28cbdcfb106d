#include "app/instance.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/message.h"

namespace moddeck {

namespace {

constexpr char kSocketName[] = "/moddeck.sock";

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

int ConnectTo(const std::string& socketPath) {
    sockaddr_un addr;
    if (!MakeAddress(socketPath, &addr)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
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
            if (listen(fd, int(InstanceListener::kMaxPending)) == 0) {
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
        if (probe >= 0) {
            close(probe);
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
    int fd = ConnectTo(socketPath);
    if (fd < 0) return HandOverResult::NoAnswer;
    size_t sent = 0;
    while (sent < message.size()) {
        ssize_t n = send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return HandOverResult::NoAnswer;
        }
        sent += size_t(n);
    }
    shutdown(fd, SHUT_WR);

    char reply[3] = {};
    size_t got = 0;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got < sizeof reply) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, int(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        ssize_t n = recv(fd, reply + got, sizeof reply - got, 0);
        if (n <= 0) break;
        got += size_t(n);
    }
    close(fd);
    if (got < sizeof reply) return HandOverResult::NoAnswer;
    return std::memcmp(reply, "OK\n", 3) == 0 ? HandOverResult::Accepted : HandOverResult::Refused;
}

InstanceListener::InstanceListener(int listenFd, std::string socketPath,
                                   std::chrono::milliseconds readDeadline)
    : listenFd_(listenFd), socketPath_(std::move(socketPath)), readDeadline_(readDeadline) {}

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

void InstanceListener::Accept() {
    for (;;) {
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;  // EAGAIN: nothing more waits
        // Another user's word never opens a file; a flood beyond the few
        // connections we keep is turned away rather than queued.
        if (!SameUser(fd) || pending_.size() >= kMaxPending) {
            close(fd);
            continue;
        }
        pending_.push_back({fd, std::chrono::steady_clock::now() + readDeadline_, {}});
    }
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
    if (listenFd_ >= 0) Accept();
    auto now = std::chrono::steady_clock::now();
    for (size_t i = 0; i < pending_.size();) {
        Pending& p = pending_[i];
        bool done = Read(p, requests) || now >= p.deadline;
        if (done) {
            close(p.fd);
            pending_.erase(pending_.begin() + long(i));
        } else {
            i++;
        }
    }
}

}  // namespace moddeck
