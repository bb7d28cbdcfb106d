// The desktop's media controls over a private session bus (ctest runs this
// under dbus-run-session): gdbus, as the desktop would, reads the player and
// drives a fake set of controls; what changes is signalled.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop_controls.h"
#include "app/mpris.h"

using namespace moddeck;

namespace {

class FakeControls : public MediaControls {
public:
    void Play() override { Log("play"); }
    void Pause() override { Log("pause"); }
    void PlayPause() override { Log("play-pause"); }
    void Stop() override { Log("stop"); }
    void Next() override { Log("next"); }
    void Previous() override { Log("previous"); }
    void SeekBy(int64_t us) override { Log("seek " + std::to_string(us)); }
    void SetPosition(const std::string& id, int64_t us) override { Log("position " + id + " " + std::to_string(us)); }
    void SetVolume(double v) override { Log("volume " + std::to_string(v)); }
    void SetLoopStatus(LoopStatus l) override { Log("loop " + std::to_string(int(l))); }
    void SetShuffle(bool s) override { Log(s ? "shuffle on" : "shuffle off"); }
    void Quit() override { Log("quit"); }
    MediaSnapshot Snapshot() const override {
        std::lock_guard<std::mutex> hold(lock);
        return snapshot;
    }

    void Log(const std::string& call) {
        std::lock_guard<std::mutex> hold(lock);
        calls.push_back(call);
    }

    mutable std::mutex lock;
    MediaSnapshot snapshot;
    std::vector<std::string> calls;
};

// What a command prints.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string Call(const std::string& method) {
    return Output("gdbus call --session -d org.mpris.MediaPlayer2.moddeck -o /org/mpris/MediaPlayer2 -m " + method +
               " 2>&1");
}

class MprisTest : public ::testing::Test {
protected:
    void SetUp() override {
        controls.snapshot.status = PlaybackStatus::Playing;
        controls.snapshot.title = "Caf\xc3\xa9 tune";
        controls.snapshot.url = "file:///music/caf%E9.mod";
        controls.snapshot.trackId = "/org/moddeck/track/3";
        controls.snapshot.lengthUs = 95'000'000;
        controls.snapshot.positionUs = 12'000'000;
        controls.snapshot.canGoNext = true;
        if (!getenv("DBUS_SESSION_BUS_ADDRESS") || !bus.Open(controls)) GTEST_SKIP() << "no session bus to test on";
        server = std::thread([this] {
            while (!stop) {
                pollfd p{bus.Fd(), bus.Events(), 0};
                poll(&p, 1, 10);
                bus.Process();
            }
        });
    }
    void TearDown() override {
        stop = true;
        if (server.joinable()) server.join();
    }

    FakeControls controls;
    MprisBus bus;
    std::atomic<bool> stop{false};
    std::thread server;
};

}  // namespace

TEST_F(MprisTest, TheDesktopReadsThePlayer) {
    const std::string all = Call("org.freedesktop.DBus.Properties.GetAll org.mpris.MediaPlayer2.Player");
    for (const char* shown : {"'PlaybackStatus': <'Playing'>", "'xesam:title': <'Caf\xc3\xa9 tune'>",
                              "'mpris:length': <int64 95000000>", "'mpris:trackid': <objectpath '/org/moddeck/track/3'>",
                              "'xesam:url': <'file:///music/caf%E9.mod'>", "'Position': <int64 12000000>",
                              "'CanGoNext': <true>", "'CanGoPrevious': <false>", "'CanSeek': <false>",
                              "'LoopStatus': <'None'>", "'Volume': <1.0>"})
        EXPECT_NE(all.find(shown), std::string::npos) << shown << " in " << all;
    const std::string root = Call("org.freedesktop.DBus.Properties.GetAll org.mpris.MediaPlayer2");
    EXPECT_NE(root.find("'Identity': <'Moddeck'>"), std::string::npos) << root;
    EXPECT_NE(root.find("'CanQuit': <true>"), std::string::npos) << root;
}

TEST_F(MprisTest, TheDesktopDrivesThePlayerAndHearsWhatChanges) {
    const std::string monitorOut = "/tmp/moddeck-mpris-monitor-" + std::to_string(getpid());
    const std::string monitor = Output("sh -c 'gdbus monitor --session -d org.mpris.MediaPlayer2.moddeck > " +
                                    monitorOut + " 2>&1 & echo $!'");
    usleep(300'000);  // the monitor has subscribed
    const std::string player = "org.mpris.MediaPlayer2.Player.";
    const std::string set = "org.freedesktop.DBus.Properties.Set org.mpris.MediaPlayer2.Player ";
    for (const std::string& m : {player + "Play", player + "Pause", player + "PlayPause", player + "Stop",
                                 player + "Next", player + "Previous", player + "Seek 5000000",
                                 player + "SetPosition /org/moddeck/track/3 1000",
                                 player + "SetPosition /org/moddeck/track/2 1000", set + "Volume '<0.5>'",
                                 set + "LoopStatus \"<'Playlist'>\"", set + "Shuffle '<true>'",
                                 std::string("org.mpris.MediaPlayer2.Quit")})
        Call(m);
    {
        std::lock_guard<std::mutex> hold(controls.lock);
        const std::vector<std::string> want = {"play", "pause", "play-pause", "stop", "next", "previous",
                                               "seek 5000000", "position /org/moddeck/track/3 1000",
                                               "volume 0.500000", "loop 2", "shuffle on", "quit"};
        EXPECT_EQ(controls.calls, want) << "a position for a track that does not play is ignored";
        controls.snapshot.status = PlaybackStatus::Paused;
    }
    usleep(300'000);
    Output("kill " + monitor);
    const std::string heard = Output("cat " + monitorOut + "; rm -f " + monitorOut);
    EXPECT_NE(heard.find("Seeked (int64 12000000,)"), std::string::npos) << heard;
    EXPECT_NE(heard.find("'PlaybackStatus': <'Paused'>"), std::string::npos) << heard;
}

TEST(DesktopControls, FileUrlsAreAbsoluteAndEscaped) {
    EXPECT_EQ(FileUrl("/music/caf\xe9 #1.mod"), "file:///music/caf%E9%20%231.mod");
    EXPECT_EQ(FileUrl("/a/./b/../c.xm"), "file:///a/c.xm");
}
