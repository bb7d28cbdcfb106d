// The application as the desktop's media controls see it: what the bus asks
// is done through the application's own actions, and the snapshot is taken
// from what its screen would show.
#pragma once

#include "app/mpris.h"

namespace moddeck {

class Application;

class DesktopControls : public MediaControls {
public:
    explicit DesktopControls(Application& app) : app_(app) {}

    void Play() override;
    void Pause() override;
    void PlayPause() override;
    void Stop() override;
    void Next() override;
    void Previous() override;
    void SeekBy(int64_t offsetUs) override;
    void SetPosition(const std::string& trackId, int64_t positionUs) override;
    // Taken to the nearest volume step.
    void SetVolume(double volume) override;
    void SetLoopStatus(LoopStatus loop) override;
    void SetShuffle(bool shuffle) override;
    void Quit() override { quit_ = true; }
    MediaSnapshot Snapshot() const override;

    // True once the desktop has asked the player to quit.
    bool quitAsked() const { return quit_; }

private:
    Application& app_;
    bool quit_ = false;
};

// A file:// URL of `path` (made absolute), every byte outside the unreserved
// characters and '/' percent-encoded.
std::string FileUrl(const std::string& path);

}  // namespace moddeck
