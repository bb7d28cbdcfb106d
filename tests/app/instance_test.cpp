#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "app/instance.h"
#include "app/message.h"

using namespace moddeck;
namespace fs = std::filesystem;

namespace {

ParseStatus Parse(const std::vector<uint8_t>& bytes, Request* request = nullptr) {
    return ParseMessage(bytes.data(), bytes.size(), request);
}

std::vector<uint8_t> Header(char command, uint32_t length) {
    std::vector<uint8_t> m = {'M', 'D', 'K', '2', uint8_t(command)};
    for (int i = 0; i < 4; i++) m.push_back(uint8_t(length >> (8 * i)));
    return m;
}

std::vector<uint8_t> Open(const std::vector<std::string>& paths) { return BuildMessage({Command::Open, paths}); }

}  // namespace

TEST(Message, RoundTripAndEveryPrefixIsIncomplete) {
    for (const Request& sent : {Request{Command::Open, {"/music/a b.xm"}},
                                Request{Command::Enqueue, {"/a.mod", "/b/c.ogg", "/d.s3m"}}, Request{Command::Quit, {}}}) {
        std::vector<uint8_t> m = BuildMessage(sent);
        Request got;
        EXPECT_EQ(Parse(m, &got), ParseStatus::Complete);
        EXPECT_EQ(got.command, sent.command);
        EXPECT_EQ(got.paths, sent.paths);
        for (size_t n = 0; n < m.size(); n++) EXPECT_EQ(ParseMessage(m.data(), n, nullptr), ParseStatus::Incomplete) << n;
    }
}

TEST(Message, MalformedMessagesAreRefused) {
    std::vector<uint8_t> m = Open({"/a.xm"});
    std::vector<uint8_t> extra = m;
    extra.push_back('x');
    EXPECT_EQ(Parse(extra), ParseStatus::Malformed) << "bytes after the message";

    std::vector<uint8_t> magic = m;
    magic[3] = '1';
    EXPECT_EQ(Parse(magic), ParseStatus::Malformed);
    EXPECT_EQ(Parse({'X'}), ParseStatus::Malformed) << "wrong from the first byte";
    EXPECT_EQ(Parse({'M', 'D', 'K', '2', 'X'}), ParseStatus::Malformed) << "unknown command";

    EXPECT_EQ(Parse(Header('O', 0)), ParseStatus::Malformed) << "no path";
    EXPECT_EQ(Parse(Header('Q', 1)), ParseStatus::Malformed) << "quit with a path";
    EXPECT_EQ(Parse(Header('O', kMaxMessagePayload + 1)), ParseStatus::Malformed) << "oversized";
    EXPECT_EQ(Parse(Header('O', 0xffffffffu)), ParseStatus::Malformed);

    std::vector<uint8_t> relative = Header('O', 5);
    relative.insert(relative.end(), {'a', '.', 'x', 'm', '\0'});
    EXPECT_EQ(Parse(relative), ParseStatus::Malformed) << "a relative path means nothing to another process";

    std::vector<uint8_t> empty = Header('E', 5);
    empty.insert(empty.end(), {'/', 'a', '\0', '\0', '/'});
    EXPECT_EQ(Parse(empty), ParseStatus::Malformed);
    empty.resize(kMessageHeaderSize + 4);
    EXPECT_EQ(Parse(empty), ParseStatus::Malformed) << "an empty path is refused before the rest arrives";

    std::vector<uint8_t> unterminated = Header('O', 3);
    unterminated.insert(unterminated.end(), {'/', 'a', 'b'});
    EXPECT_EQ(Parse(unterminated), ParseStatus::Malformed);
    std::vector<uint8_t> tooLong = Header('O', kMaxMessagePath + 2);
    tooLong.push_back('/');
    tooLong.resize(tooLong.size() + kMaxMessagePath, 'x');
    EXPECT_EQ(Parse(tooLong), ParseStatus::Malformed);
}

TEST(Message, OnlySendableRequestsAreBuilt) {
    EXPECT_TRUE(Open({""}).empty());
    EXPECT_TRUE(Open({"/a.xm", "a.xm"}).empty());
    EXPECT_TRUE(Open({}).empty());
    EXPECT_TRUE(BuildMessage({Command::Quit, {"/a.xm"}}).empty());
    EXPECT_TRUE(Open({"/" + std::string(kMaxMessagePath, 'a')}).empty());
    EXPECT_EQ(Open({"/" + std::string(kMaxMessagePath - 1, 'a')}).size(), kMessageHeaderSize + kMaxMessagePath + 1);
    EXPECT_TRUE(Open({std::string("/a\0b", 4)}).empty());
    EXPECT_TRUE(Open(std::vector<std::string>(100, "/" + std::string(kMaxMessagePath - 1, 'a'))).empty());
}

namespace {

class Instance : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("moddeck-inst-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::replace);
        socket_ = (dir_ / "moddeck.sock").string();
        file_ = (dir_ / "song.xm").string();
        std::ofstream(file_) << "x";
        Listen(std::chrono::milliseconds(200));
    }
    void Listen(std::chrono::milliseconds readDeadline) {
        listener_.reset();
        int fd = -1;
        ASSERT_EQ(ClaimInstance(socket_, &fd, nullptr), ClaimResult::Owner);
        listener_ = std::make_unique<InstanceListener>(fd, socket_, readDeadline);
    }
    void TearDown() override {
        listener_.reset();
        fs::remove_all(dir_);
    }
    // Serves the listener until the client call returns, collecting requests.
    template <typename F>
    auto Serve(F client) {
        auto result = std::async(std::launch::async, client);
        while (result.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            listener_->Service(requests_);
        listener_->Service(requests_);
        return result.get();
    }
    // A new socket, bound (`bind`) or connected to the instance's address.
    int Socket(decltype(::connect) how = ::connect) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, socket_.c_str());
        EXPECT_EQ(how(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        return fd;
    }
    int Connect() { return Socket(); }
    // What the player has answered on `fd`, waiting for it as long as needed.
    static std::string AnswerOn(int fd) {
        char reply[8] = {};
        [[maybe_unused]] ssize_t r = recv(fd, reply, sizeof reply - 1, 0);
        return reply;
    }
    // Sends raw bytes, closes the sending side and returns the answer.
    std::string SendRaw(const std::vector<uint8_t>& bytes, bool halfClose = true) {
        return Serve([&] {
            int fd = Connect();
            [[maybe_unused]] ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (halfClose) shutdown(fd, SHUT_WR);
            std::string reply = AnswerOn(fd);
            close(fd);
            return reply;
        });
    }
    // The listener still takes a good request after whatever came before,
    // and answers it within `timeout`.
    void ExpectStillServing(std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
        requests_.clear();
        EXPECT_EQ(Serve([&] {
                      return HandOver(socket_, {Command::Enqueue, {file_, (dir_ / "missing.xm").string()}}, timeout);
                  }),
                  HandOverResult::Accepted);
        ASSERT_EQ(requests_.size(), 1u);
        EXPECT_EQ(requests_[0].command, Command::Enqueue);
        EXPECT_EQ(requests_[0].paths, std::vector<std::string>{file_}) << "only files that can be read are taken";
    }
    fs::path dir_;
    std::string socket_, file_;
    std::unique_ptr<InstanceListener> listener_;
    std::vector<Request> requests_;
};

}  // namespace

TEST_F(Instance, ASecondPlayerHandsItsFileToTheFirst) {
    int fd = -1;
    EXPECT_EQ(ClaimInstance(socket_, &fd, nullptr), ClaimResult::OtherRunning);
    ExpectStillServing();
}

TEST_F(Instance, AStaleSocketIsReplaced) {
    listener_.reset();
    // A player that crashed leaves its socket file with nobody listening.
    close(Socket(::bind));
    ASSERT_TRUE(fs::exists(socket_));

    Listen(std::chrono::milliseconds(200));
    ExpectStillServing();
}

TEST_F(Instance, HostileMessagesOpenNothingAndLeaveItServing) {
    std::vector<uint8_t> oversized = Header('O', kMaxMessagePayload);
    oversized.resize(kMaxMessageSize + 100, '/');
    EXPECT_EQ(SendRaw(oversized), "NO\n");

    std::vector<uint8_t> truncated = Open({file_});
    truncated.resize(truncated.size() - 2);
    EXPECT_EQ(SendRaw(truncated), "NO\n");

    EXPECT_EQ(SendRaw(Open({(dir_ / "missing.xm").string()})), "NO\n");
    EXPECT_EQ(SendRaw(Open({dir_.string()})), "NO\n") << "a folder is no file";
    EXPECT_EQ(SendRaw({'G', 'E', 'T', ' ', '/'}), "NO\n");
    EXPECT_TRUE(requests_.empty());
    ExpectStillServing();
}

TEST_F(Instance, ConnectionsThatNeverFinishAreAnsweredNoAtTheirDeadline) {
    int silent = Connect();
    int halfWritten = Connect();
    const std::vector<uint8_t> message = Open({file_});
    [[maybe_unused]] ssize_t n = send(halfWritten, message.data(), message.size() / 2, MSG_NOSIGNAL);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (std::chrono::steady_clock::now() < until) listener_->Service(requests_);
    EXPECT_EQ(listener_->PendingCount(), 2u);
    // Others are heard while they wait.
    ExpectStillServing();
    until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < until) listener_->Service(requests_);
    EXPECT_EQ(listener_->PendingCount(), 0u);
    for (int fd : {silent, halfWritten}) {
        EXPECT_EQ(AnswerOn(fd), "NO\n") << "told, not just hung up on";
        close(fd);
    }
}

TEST_F(Instance, AHandOffGetsThroughAFloodOfIdleConnections) {
    Listen(std::chrono::seconds(60));  // they stay for as long as the test
    std::vector<int> fds;
    for (int i = 0; i < 200; i++) fds.push_back(Connect());
    ExpectStillServing(std::chrono::seconds(1));
    // More than it holds: the oldest idle ones make room, with an answer.
    while (fds.size() < InstanceListener::kMaxPending + 50) {
        fds.push_back(Connect());
        listener_->Service(requests_);
    }
    EXPECT_LE(listener_->PendingCount(), InstanceListener::kMaxPending);
    EXPECT_EQ(AnswerOn(fds[0]), "NO\n");
    ExpectStillServing(std::chrono::seconds(1));
    for (int fd : fds) close(fd);
    listener_->Service(requests_);
    EXPECT_EQ(listener_->PendingCount(), 0u);
}

TEST(InstanceSocketPath, RefusesARuntimeFolderOthersCanEnter) {
    fs::path dir = fs::temp_directory_path() / ("moddeck-open-dir-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_all, fs::perm_options::replace);
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    std::string error;
    EXPECT_EQ(InstanceSocketPath(&error), "");
    EXPECT_FALSE(error.empty());
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace);
    EXPECT_EQ(InstanceSocketPath(nullptr), (dir / "moddeck.sock").string());
    if (old) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1); else unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(dir);
}
