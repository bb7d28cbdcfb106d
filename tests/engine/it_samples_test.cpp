#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "loaders/it_samples.h"

using namespace moddeck;

namespace {

int32_t Wrap(int32_t v, int bits) { return static_cast<int32_t>(static_cast<uint32_t>(v) << (32 - bits)) >> (32 - bits); }

// The packer, the unpacking rules reversed: each stored difference in the narrowest width that holds it.
struct Packer {
    int bits;                                        // of a frame: 8 or 16
    std::vector<uint8_t> out{};                      // the blocks, each after its byte count
    size_t at = 0, countAt = 0;                      // the bit in the block; where its count goes
    void Put(uint32_t v, int n) { for (int i = 0; i < n; i++, at++) (at % 8 ? out.back() : out.emplace_back(0)) |= ((v >> i) & 1) << (at % 8); }
    void Begin() { countAt = out.size(), at = 0, out.resize(countAt + 2); }
    void End() { out[countAt] = (out.size() - countAt - 2) & 0xFF, out[countAt + 1] = (out.size() - countAt - 2) >> 8; }
    bool Holds(int32_t d, int w) const {  // within w bits, and none of the width changes there
        uint32_t code = d & ((1u << w) - 1), top = 1u << (w - 1);
        return w > bits || (Wrap(d, w) == d && (w < 7 ? code != top : code + bits / 2 < top || code >= top + bits / 2));
    }
    void Pack(const std::vector<int32_t>& diffs, int block) {
        for (int i = 0, w = 0, to = 1; i < static_cast<int>(diffs.size()); i++, to = 1) {
            if (i % block == 0) Begin(), w = bits + 1;
            while (!Holds(diffs[i], to)) to++;
            uint32_t n = to < w ? to : to - 1;  // the new width counted from 1 without the current one
            if (to != w && w < 7) Put(1u << (w - 1), w), Put(n - 1, bits == 8 ? 3 : 4);
            else if (to != w) Put(w <= bits ? (1u << (w - 1)) - bits / 2 + n - 1 : (1u << bits) | (to - 1), w);
            Put(diffs[i] & ((1u << bits) - 1), w = to);
            if (i % block == block - 1 || i + 1 == static_cast<int>(diffs.size())) End();
        }
    }
};

TEST(ITSamples, UnpacksEveryForm) {
    for (int bits : {8, 16})
        for (bool it215 : {false, true}) {
            std::vector<int32_t> diffs;  // from every width to every other, then noise at every loudness over two block starts
            for (int a = 0; a < (bits + 1) * (bits + 1); a++) diffs.insert(diffs.end(), {(1 << a % (bits + 1)) / 2, (1 << a / (bits + 1)) / 2});
            std::mt19937 rng(bits);
            for (int32_t loud = 0; diffs.size() < (bits == 8 ? 0x10020u : 0x8020u); loud = (1 << rng() % (bits + 1)) - 1)
                for (int n = rng() % 300; n > 0; n--) diffs.push_back(static_cast<int32_t>(rng() % (2 * loud + 1)) - loud);
            const int block = bits == 8 ? 0x8000 : 0x4000;
            std::vector<int16_t> want(diffs.size());
            for (int32_t i = 0, once = 0, twice = 0; i < static_cast<int32_t>(diffs.size()); i++) {
                once = Wrap((i % block ? once : 0) + diffs[i], bits), twice = Wrap((i % block ? twice : 0) + once, bits);  // afresh in each block
                want[i] = static_cast<int16_t>((it215 ? twice : once) * (bits == 8 ? 256 : 1));
            }
            Packer p{bits};
            p.Pack(diffs, block);
            std::vector<int16_t> dst(want.size(), 0x7777);  // as long as the sample: AddressSanitizer sees any write past it
            SNDMyFILE r = OpenMemoryReader(p.out.data(), p.out.size());
            EXPECT_EQ(UnpackITSample(&r, dst.data(), static_cast<int32_t>(dst.size()), bits == 16, it215), static_cast<int32_t>(dst.size()));
            EXPECT_EQ(dst, want) << bits << it215;
        }
}

TEST(ITSamples, DamageEndsItsBlockAndNoMore) {
    Packer p{8};
    p.Begin(), p.Put(5, 9), p.Put(0x1FF, 9), p.Put(7, 9), p.End();   // a width of 0
    p.Begin(), p.Put(3, 9), p.Put(0x10A, 9), p.Put(7, 9), p.End();   // 11 bits wide
    p.Begin(), p.Put(1, 9), p.Put(0x105, 9), p.Put(32, 6), p.End();  // the new width's bits cut off
    p.Begin(), p.Put(2, 9), p.Put(3, 9), p.End(), p.out.pop_back();  // a count past the data, a value cut off
    std::vector<int16_t> want(0x20010, 0), dst(want.size(), 0x7777);  // and no block at all for the last frames
    want[0] = 5 * 256, want[0x8000] = 3 * 256, want[0x10000] = 256, want[0x18000] = 512;
    SNDMyFILE r = OpenMemoryReader(p.out.data(), p.out.size());
    EXPECT_EQ(UnpackITSample(&r, dst.data(), static_cast<int32_t>(dst.size()), false, false), 0x18001);
    EXPECT_EQ(dst, want);
    EXPECT_EQ(UnpackITSample(&r, nullptr, 0, false, false), 0);
}

}  // namespace
