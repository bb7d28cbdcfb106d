#include "engine/meters.h"

#include <algorithm>
#include <cstdlib>

#include "engine/state.h"

namespace moddeck {

std::atomic<uint16_t> meterPeak[kMaxChannels] = {};
std::atomic<int32_t> meterRow{0};
std::atomic<uint32_t> meterBlocks{0};

void PublishMeters() {
    int channels = std::clamp<int32_t>(NVoices, 0, kMaxChannels);
    for (int c = 0; c < kMaxChannels; c++) {
        int peak = 0;
        const int16_t* frames = ptrVoices[c];
        if (c < channels && frames) {
            for (int i = 0; i < kBlockSamples; i++) peak = std::max(peak, std::abs(int(frames[i])));
        }
        // -32768 has no positive twin in the range the meters use.
        meterPeak[c].store(uint16_t(std::min(peak, 32767)), std::memory_order_relaxed);
    }
    meterRow.store(raw, std::memory_order_relaxed);
    meterBlocks.fetch_add(1, std::memory_order_relaxed);
}

void ResetMeters() {
    for (auto& p : meterPeak) p.store(0, std::memory_order_relaxed);
    meterRow.store(0, std::memory_order_relaxed);
    meterBlocks.store(0, std::memory_order_relaxed);
}

}  // namespace moddeck
