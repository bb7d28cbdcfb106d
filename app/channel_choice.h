// Which channels of a module are heard, as the mute and solo keys leave
// them: a channel chosen to act on, channels muted, or one played alone
// (the mutes come back when it no longer is).
#pragma once

namespace moddeck {

class ChannelChoice {
public:
    // Channels beyond this are always heard: no meter shows them.
    static constexpr int kMaxChannels = 64;

    // A new song of `channels` channels: all heard, the first chosen.
    void Reset(int channels);
    // Moves the choice by `delta`, kept within the song's channels.
    void Select(int delta);
    // Mutes or unmutes the chosen channel; false (changing nothing) while
    // one plays alone.
    bool ToggleMute();
    // Plays the chosen channel alone, or, when it already is, all again.
    void ToggleSolo();

    int selected() const { return selected_; }
    int solo() const { return solo_; }  // -1: none plays alone
    bool Silenced(int channel) const;

private:
    int channels_ = 0;
    int selected_ = 0;
    int solo_ = -1;
    bool muted_[kMaxChannels] = {};
};

}  // namespace moddeck
