#include "app/channel_choice.h"

#include <algorithm>
#include <iterator>

namespace moddeck {

void ChannelChoice::Reset(int channels) {
    channels_ = std::clamp(channels, 0, kMaxChannels);
    selected_ = 0;
    solo_ = -1;
    std::fill(std::begin(muted_), std::end(muted_), false);
}

void ChannelChoice::Select(int delta) { selected_ = std::clamp(selected_ + delta, 0, std::max(0, channels_ - 1)); }

bool ChannelChoice::ToggleMute() {
    if (solo_ >= 0 || channels_ == 0) return false;
    muted_[selected_] = !muted_[selected_];
    return true;
}

void ChannelChoice::ToggleSolo() {
    if (channels_ > 0) solo_ = solo_ == selected_ ? -1 : selected_;
}

bool ChannelChoice::Silenced(int channel) const {
    if (channel < 0 || channel >= channels_) return false;
    return solo_ >= 0 ? channel != solo_ : muted_[channel];
}

}  // namespace moddeck
