// One player per user. The first `moddeck` listens on a Unix-domain socket;
// a later `moddeck FILE...` hands the paths to it (to play instead of its
// playlist, or to add to it) and exits, and the running one plays them, as
// a desktop system hands a running application the next file; `moddeck
// --quit` asks it to quit.
//
// The socket lives in $XDG_RUNTIME_DIR, or in a private 0700 folder
// /tmp/moddeck-UID when that is unset. Only connections from the same user
// (peer credentials) are heard; a message is read without ever blocking the
// player, and a connection that is slow, oversized or malformed is answered
// "NO" and let go. However many connections stay open, idle or trickling,
// a well-formed request is answered at once: each has a deadline on its
// whole message, and a newcomer pushes out the oldest idle one rather than
// being turned away.
#pragma once

#include <poll.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/message.h"

namespace moddeck {

// The socket's path; makes the private folder when needed. Empty (and
// `error` set) when no safe place exists: a folder we do not own or that
// others can enter, or a path too long for a socket address.
std::string InstanceSocketPath(std::string* error);

enum class ClaimResult { Owner, OtherRunning, Failed };

// Listens on `socketPath` unless another player already does. A socket left
// behind by a player that crashed (nobody answers) is replaced. On Owner,
// *listenFd is the non-blocking listening socket.
ClaimResult ClaimInstance(const std::string& socketPath, int* listenFd, std::string* error);

enum class HandOverResult { Accepted, Refused, NoAnswer };

// Sends `request` (absolute paths) to the player on `socketPath` and has
// its answer within `timeout`, connecting and sending included (NoAnswer
// when the time is up). Refused without sending when the request cannot be
// put in a message.
HandOverResult HandOver(const std::string& socketPath, const Request& request,
                        std::chrono::milliseconds timeout = std::chrono::seconds(3));

// The running player's side: accepts connections and reads their messages
// a little at a time from the event loop.
class InstanceListener {
public:
    // Takes the listening socket; the destructor closes it and removes the
    // socket file. A connection that has not sent a whole message within
    // `readDeadline` of its arrival is answered "NO" and let go.
    InstanceListener(int listenFd, std::string socketPath,
                     std::chrono::milliseconds readDeadline = kReadDeadline);
    ~InstanceListener();
    InstanceListener(const InstanceListener&) = delete;
    InstanceListener& operator=(const InstanceListener&) = delete;

    // Descriptors the event loop waits on (the listener and each pending
    // connection), appended to `fds`.
    void AddPollFds(std::vector<pollfd>& fds) const;

    // Accepts and reads whatever is ready without blocking; lets go of
    // connections past their deadline. Appends to `requests` each whole,
    // valid message from this user, keeping only the paths that name a
    // readable regular file; it is answered "OK" when it still asks for
    // something (quit, or at least one file), every other message "NO".
    void Service(std::vector<Request>& requests);

    // Pending connections, for the tests.
    size_t PendingCount() const { return pending_.size(); }

    // The most connections held at once (fewer when the process may open
    // few descriptors: its files and its sound need them too). Each holds a
    // message at most, so this also bounds their memory.
    static constexpr size_t kMaxPending = 256;
    static constexpr std::chrono::milliseconds kReadDeadline{2000};

private:
    struct Pending {
        int fd;
        std::chrono::steady_clock::time_point deadline;
        std::vector<uint8_t> bytes;
    };
    void Accept(std::vector<Request>& requests);
    // Answers "NO" to the connection at `index` and lets it go.
    void Drop(size_t index);
    // The connection that has waited longest without a byte, or else the
    // one that has waited longest: the first to make room for a newcomer.
    size_t OldestIdle() const;
    // True when the connection is finished (answered, or gone).
    bool Read(Pending& p, std::vector<Request>& requests);

    int listenFd_;
    std::string socketPath_;
    std::chrono::milliseconds readDeadline_;
    size_t room_;
    std::vector<Pending> pending_;  // in the order they came
};

}  // namespace moddeck
