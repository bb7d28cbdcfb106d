#include <gtest/gtest.h>

#include "engine/mixer.h"

namespace moddeck {
namespace {

TEST(MixerPan, SplitsTheValueBetweenTheTwoElements) {
    int16_t frame[2];
    PanFrame(1001, 0.5f, frame);
    EXPECT_EQ(frame[0], 500);
    EXPECT_EQ(frame[1], 501);
}

}  // namespace
}  // namespace moddeck
