// Ogg Vorbis playback: the memory-image callbacks, the cutting of the
// decoded stream into 100 ms stereo blocks at the stream's own rate, the
// refusal of bad files, and the player's start and stop without a device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/ogg_player.h"
#include "support/ogg_encoder.h"
#include "support/ogg_reference.h"

namespace moddeck {
namespace {

using test::DecodedOgg;
using test::OggSpec;

// ---- The callbacks over a memory image.

// Reads stop at the end of the image, an item count whose size overflows
// copies nothing; seeks are clamped to the image and always succeed; a
// close leaves the image alone.
TEST(OggImage, CallbacksStayWithinTheImage) {
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    OggData image = {bytes.data(), 1000, 900};
    std::vector<uint8_t> out(4096, 0xEE);
    EXPECT_EQ(own_read_func(out.data(), 1, 4096, &image), 100u);
    EXPECT_EQ(image.pos, 1000);
    EXPECT_EQ(out[0], bytes[900]);
    EXPECT_EQ(out[99], bytes[999]);
    EXPECT_EQ(out[100], 0xEE);
    EXPECT_EQ(own_read_func(out.data(), 1, 4096, &image), 0u);
    image.pos = 0;
    // size * nmemb wraps to 0 in 64 bits; it must not be taken as a small read.
    EXPECT_EQ(own_read_func(out.data(), size_t{1} << 32, size_t{1} << 32, &image), 0u);
    EXPECT_EQ(own_read_func(out.data(), 2, 16, &image), 32u);
    EXPECT_EQ(image.pos, 32);

    image.size = 500;
    EXPECT_EQ(own_seek_func(&image, -5, SEEK_SET), 0);
    EXPECT_EQ(image.pos, 0);
    EXPECT_EQ(own_seek_func(&image, 510, SEEK_SET), 0);
    EXPECT_EQ(image.pos, 500);
    EXPECT_EQ(own_seek_func(&image, -100, SEEK_CUR), 0);
    EXPECT_EQ(image.pos, 400);
    EXPECT_EQ(own_seek_func(&image, 0, SEEK_END), 0);
    EXPECT_EQ(own_tell_func(&image), 500);
    EXPECT_EQ(own_seek_func(&image, 20, SEEK_END), 0);  // size minus the offset
    EXPECT_EQ(own_tell_func(&image), 480);
    EXPECT_EQ(own_seek_func(&image, 7, 3), 0);  // unknown origin
    EXPECT_EQ(image.pos, 480);
    EXPECT_EQ(own_seek_func(&image, INT64_MAX, SEEK_CUR), 0);
    EXPECT_EQ(image.pos, 500);
    EXPECT_EQ(own_seek_func(&image, INT64_MIN, SEEK_CUR), 0);
    EXPECT_EQ(image.pos, 0);

    EXPECT_EQ(own_close_func(&image), 0);
    EXPECT_TRUE(image.data == bytes.data() && image.size == 500 && image.pos == 0);
}

// ---- Blocks.

class OggBlocks : public ::testing::Test {
protected:
    void TearDown() override { CloseOggStream(ogg); }

    // Writes an encoded file (for the reference decoder); Open opens its
    // bytes from then on.
    std::string Make(const std::string& name, const std::vector<uint8_t>& bytes) {
        path_ = dir_.File(name);
        bytes_ = bytes;
        EXPECT_TRUE(test::WriteBytes(path_, bytes));
        return path_;
    }
    bool Open() { return OpenOggBytes(ogg, bytes_.data(), bytes_.size()); }

    std::string MakeTone(const std::string& name, int frames, const OggSpec& desc, std::vector<double> freqs) {
        const auto bytes = test::EncodeOggVorbis(test::MakeTones(frames, desc.channels, desc.rate, freqs), desc);
        EXPECT_FALSE(bytes.empty());
        return Make(name, bytes);
    }

    // Runs OGG_MixNext until the stream has ended and `extra` silent blocks
    // more; returns every block, concatenated. Each block is checked to
    // leave the staging area within its bounds.
    std::vector<int16_t> DrainBlocks(int extra = 1, int limit = 1000) {
        std::vector<int16_t> all;
        const size_t samples = static_cast<size_t>(ogg.OGG_BlockBytes) / 2;
        int after = -1;
        for (int n = 0; n < limit && after < extra; ++n) {
            OGG_MixNext(ogg);
            EXPECT_GE(ogg.OGG_pos, 0);
            EXPECT_LT(ogg.OGG_pos, ogg.OGG_BlockBytes);
            EXPECT_EQ(ogg.OGG_pos % 4, 0);
            const int16_t* block = reinterpret_cast<const int16_t*>(ogg.OGG_Buffer);
            all.insert(all.end(), block, block + samples);
            if (!ogg.OGG_Status) ++after;
        }
        EXPECT_FALSE(ogg.OGG_Status) << "the stream never ended";
        return all;
    }

    test::ScratchDir dir_;
    std::string path_;
    std::vector<uint8_t> bytes_;
    OggPlayer ogg;
};

// The blocks of a stereo stream are its decoded PCM, cut in 100 ms and
// padded with zeros after its end.
void ExpectBlocksAreThePcm(const std::vector<int16_t>& blocks, const std::vector<int16_t>& pcm,
                           size_t blockSamples) {
    ASSERT_GE(blocks.size(), pcm.size());
    for (size_t i = 0; i < pcm.size(); ++i)
        ASSERT_EQ(blocks[i], pcm[i]) << "at sample " << i;
    for (size_t i = pcm.size(); i < blocks.size(); ++i)
        ASSERT_EQ(blocks[i], 0) << "at sample " << i << " after the end";
    // At least one silent block follows the one that holds the remainder.
    const size_t blocksWithData = (pcm.size() + blockSamples - 1) / blockSamples;
    EXPECT_GE(blocks.size() / blockSamples, blocksWithData + 1);
}

// Streams of one or two channels play at their own rate in blocks of 100 ms,
// mono on both sides; a stream that is not a whole number of blocks ends
// with its remainder padded, then silence.
TEST_F(OggBlocks, StreamsAreCutIntoBlocksAtTheirOwnRateThenSilence) {
    const struct { const char* name; int frames; OggSpec format; std::vector<double> tones; int blockBytes; } cases[] = {
        {"a.ogg", 54243, OggSpec{}, {440.0, 660.0}, 17640},  // 1.23 s
        {"mono.ogg", 22050 + 777, OggSpec{1, 22050}, {500.0}, 2205 * 4},
        {"48k.ogg", 48000, OggSpec{2, 48000}, {1000.0, 250.0}, 19200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedOgg ref = test::DecodeOggFile(MakeTone(c.name, c.frames, c.format, c.tones));
        ASSERT_TRUE(ref.ok);
        ASSERT_EQ(ref.pcm.size(), size_t(c.format.channels) * c.frames);
        ASSERT_TRUE(Open());
        EXPECT_EQ(ogg.OGG_Rate, c.format.rate);
        EXPECT_EQ(ogg.OGG_BlockBytes, c.blockBytes);
        std::vector<int16_t> stereo;
        for (int16_t s : ref.pcm) stereo.insert(stereo.end(), c.format.channels == 1 ? 2 : 1, s);
        ExpectBlocksAreThePcm(DrainBlocks(), stereo, c.blockBytes / 2);
        // The end of the stream closed it and released its image, once.
        EXPECT_EQ(ogg.oggdataActual.data, nullptr);
        EXPECT_EQ(ogg.OGG_pos, 0);
        CloseOggStream(ogg);  // after the end: nothing is released twice
        CloseOggStream(ogg);
    }
}

TEST_F(OggBlocks, AStreamOfWholeBlocksEndsWithOneSilentBlock) {
    const std::string path = MakeTone("whole.ogg", 4410 * 5, OggSpec{}, {300.0});
    const DecodedOgg ref = test::DecodeOggFile(path);
    ASSERT_EQ(ref.pcm.size(), 2u * 4410 * 5);
    ASSERT_TRUE(Open());
    for (int i = 0; i < 5; ++i) {
        OGG_MixNext(ogg);
        EXPECT_EQ(ogg.OGG_Status, 1) << "block " << i;
        EXPECT_EQ(std::memcmp(ogg.OGG_Buffer, ref.pcm.data() + i * 8820, 17640), 0) << "block " << i;
    }
    EXPECT_EQ(ogg.OGG_pos, 0);  // exactly five blocks were waiting
    OGG_MixNext(ogg);
    EXPECT_EQ(ogg.OGG_Status, 0);
    const std::vector<uint8_t> zeros(17640, 0);
    EXPECT_EQ(std::memcmp(ogg.OGG_Buffer, zeros.data(), 17640), 0);
}

TEST_F(OggBlocks, ASeekPlaysOnFromItsTimeAndPastTheEndEndsTheStream) {
    const std::string path = MakeTone("seek.ogg", 4410 * 5, OggSpec{}, {300.0});
    const DecodedOgg ref = test::DecodeOggFile(path);
    ASSERT_TRUE(Open());
    EXPECT_FALSE(OGG_TakeSeek(ogg)) << "nothing asked";
    OGG_MixNext(ogg);
    ogg.OGG_SeekRequest.store(0.2);
    EXPECT_TRUE(OGG_TakeSeek(ogg));
    OGG_MixNext(ogg);
    EXPECT_EQ(std::memcmp(ogg.OGG_Buffer, ref.pcm.data() + 2 * 8820, 17640), 0) << "the third block, to the frame";
    ogg.OGG_SeekRequest.store(9);
    EXPECT_TRUE(OGG_TakeSeek(ogg));
    EXPECT_EQ(ogg.OGG_Ended.load(), 1);
    ogg.OGG_SeekRequest.store(0);
    EXPECT_FALSE(OGG_TakeSeek(ogg)) << "an ended stream is closed";
}

double Rms(const std::vector<int16_t>& stereo, int side) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = side; i < stereo.size(); i += 2, ++n) sum += double(stereo[i]) * stereo[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

TEST_F(OggBlocks, SixChannelsAreMixedDownInVorbisOrder) {
    // Vorbis 5.1 order: front left, centre, front right, rear left, rear
    // right, LFE. A tone on one channel only must land where that speaker is.
    struct Case {
        int channel;
        bool left, right;
    } cases[] = {{0, true, false}, {1, true, true},  {2, false, true},
                 {3, true, false}, {4, false, true}, {5, false, false}};
    for (const Case& c : cases) {
        std::vector<double> freqs(6, 0.0);
        freqs[c.channel] = 440.0;
        MakeTone("six.ogg", 22050, OggSpec{6, 44100}, freqs);
        ASSERT_TRUE(Open()) << "channel " << c.channel;
        const auto blocks = DrainBlocks();
        const double l = Rms(blocks, 0), r = Rms(blocks, 1);
        // The tone alone is about 11,600 RMS; a fifth of it on an audible
        // side, and the lossy codec's leak elsewhere stays far below.
        if (c.left) EXPECT_GT(l, 1000) << "channel " << c.channel;
        else EXPECT_LT(l, 100) << "channel " << c.channel;
        if (c.right) EXPECT_GT(r, 1000) << "channel " << c.channel;
        else EXPECT_LT(r, 100) << "channel " << c.channel;
        if (c.left && c.right) {
            EXPECT_NEAR(l, r, l * 0.05);
        }
        CloseOggStream(ogg);
    }
}

TEST_F(OggBlocks, FullScaleOnEveryChannelDoesNotWrapAround) {
    std::vector<int16_t> pcm(6 * 8000, 32767);
    for (size_t i = 0; i < pcm.size(); i += 12)
        for (int c = 0; c < 6; ++c) pcm[i + c] = -32768;  // a square wave, in phase
    Make("loud.ogg", test::EncodeOggVorbis(pcm, OggSpec{6, 44100, 0.9f}));
    ASSERT_TRUE(Open());
    const auto blocks = DrainBlocks();
    // In phase on all channels the mix stays in phase on both sides: a wrap
    // would flip the sign of the loud samples.
    for (size_t i = 0; i + 1 < blocks.size(); i += 2) ASSERT_EQ(blocks[i] >= 0, blocks[i + 1] >= 0) << i;
}

TEST_F(OggBlocks, MoreThanEightChannelsGoToBothSidesAlike) {
    const auto bytes = test::EncodeOggVorbis(test::MakeTones(8000, 10, 44100, {440.0, 0.0}), OggSpec{10, 44100});
    if (bytes.empty()) GTEST_SKIP() << "libvorbisenc makes no 10-channel stream";
    Make("ten.ogg", bytes);
    ASSERT_TRUE(Open());
    const auto blocks = DrainBlocks();
    for (size_t i = 0; i + 1 < blocks.size(); i += 2) ASSERT_EQ(blocks[i], blocks[i + 1]) << i;
    EXPECT_GT(Rms(blocks, 0), 1000);
}

TEST_F(OggBlocks, HighestAcceptedRateDecodesWithinTheStagingArea) {
    // A 48 kHz stream that claims 192 kHz: blocks of 76,800 bytes; the
    // decoder keeps delivering at its real pace. AddressSanitizer watches
    // the staging area.
    Make("fast.ogg", test::EncodeOggVorbis(test::MakeTones(30000, 1, 48000, {440.0}), OggSpec{1, 48000, 0.4f, 192000}));
    ASSERT_TRUE(Open());
    EXPECT_EQ(ogg.OGG_Rate, 192000);
    EXPECT_EQ(ogg.OGG_BlockBytes, 76800);
    const auto blocks = DrainBlocks();
    EXPECT_GT(Rms(blocks, 0), 1000);
}

// ---- Bad input.

TEST_F(OggBlocks, FilesThatAreNotPlayableOggVorbisAreRefusedHoldingNothing) {
    const auto good = test::EncodeOggVorbis(test::MakeTones(44100, 2, 44100, {440.0}), OggSpec{});
    ASSERT_GT(good.size(), 4000u);
    const std::string text = "this is not an Ogg Vorbis stream at all, only text\n";
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"text", std::vector<uint8_t>(text.begin(), text.end())},
        {"empty", {}},
        {"cut in its headers", std::vector<uint8_t>(good.begin(), good.begin() + 200)},
        {"rate 500 Hz", test::EncodeOggVorbis(test::MakeTones(4000, 2, 8000, {440.0}), OggSpec{2, 8000, 0.4f, 500})},
        {"rate 1 MHz", test::EncodeOggVorbis(test::MakeTones(4000, 2, 8000, {440.0}), OggSpec{2, 8000, 0.4f, 1000000})},
    };
    for (const Case& c : cases) {
        Make("bad.ogg", c.bytes);
        EXPECT_FALSE(Open()) << c.what;
        EXPECT_EQ(ogg.oggdataActual.data, nullptr) << c.what;
        EXPECT_EQ(ogg.OGG_Buffer, nullptr) << c.what;
        EXPECT_EQ(ogg.OGG_Status, 0) << c.what;
    }
}

// The memory opener takes the image whatever happens: a stream opened from
// it plays as the same file read from disk, and a refused image is freed
// (the leak checker of the sanitizer build sees it otherwise).
TEST_F(OggBlocks, AnImageInMemoryPlaysAsItsFileAndIsTakenEvenWhenRefused) {
    const std::string path = MakeTone("image.ogg", 4410 * 3, OggSpec{}, {500.0});
    const DecodedOgg ref = test::DecodeOggFile(path);
    ASSERT_TRUE(ref.ok);
    const std::vector<uint8_t> bytes = bytes_;
    uint8_t* image = static_cast<uint8_t*>(std::malloc(bytes.size()));
    std::memcpy(image, bytes.data(), bytes.size());
    ASSERT_TRUE(OpenOggImage(ogg, image, static_cast<int32_t>(bytes.size())));
    EXPECT_EQ(ogg.OGG_Rate, 44100);
    ExpectBlocksAreThePcm(DrainBlocks(), ref.pcm, 8820);

    uint8_t* junk = static_cast<uint8_t*>(std::malloc(64));
    std::memset(junk, 'x', 64);
    EXPECT_FALSE(OpenOggImage(ogg, junk, 64));
    EXPECT_EQ(ogg.oggdataActual.data, nullptr);
    EXPECT_EQ(ogg.OGG_Buffer, nullptr);
    EXPECT_FALSE(OpenOggImage(ogg, nullptr, 0));
}

TEST_F(OggBlocks, AStreamCutInTheMiddleEndsLikeItsEnd) {
    const std::string full = MakeTone("full.ogg", 3 * 44100, OggSpec{}, {440.0, 880.0});
    const DecodedOgg whole = test::DecodeOggFile(full);
    std::vector<uint8_t> bytes = bytes_;
    bytes.resize(bytes.size() * 55 / 100);
    const std::string cut = Make("cut.ogg", bytes);
    const DecodedOgg partial = test::DecodeOggFile(cut);
    ASSERT_TRUE(partial.ok);
    ASSERT_GT(partial.pcm.size(), 8820u);
    ASSERT_LT(partial.pcm.size(), whole.pcm.size());

    ASSERT_TRUE(Open());
    const auto blocks = DrainBlocks(2);
    // What could be decoded, then the partial block, then silence.
    ExpectBlocksAreThePcm(blocks, partial.pcm, 8820);
    for (size_t i = 0; i < partial.pcm.size(); ++i) ASSERT_EQ(partial.pcm[i], whole.pcm[i]) << i;
}

TEST_F(OggBlocks, ACorruptStreamEndsInSilenceWithinItsLength) {
    std::vector<uint8_t> bytes(test::EncodeOggVorbis(test::MakeTones(2 * 44100, 2, 44100, {440.0}), OggSpec{}));
    uint32_t noise = 12345;
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 3000; ++i) {
        noise = noise * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(noise >> 24);
    }
    Make("corrupt.ogg", bytes);
    if (!Open()) return;  // refusing it is fine too
    const auto blocks = DrainBlocks(1, 25);
    EXPECT_LE(blocks.size(), 8820u * 25);
}

// ---- The player without any audio device: no bring-up has run here.

class OggPlayerThread : public OggBlocks {
protected:
    void TearDown() override {
        StopOggPlayer(ogg);
        OggBlocks::TearDown();
    }
    std::vector<uint8_t> Tone() {
        return test::EncodeOggVorbis(test::MakeTones(44100, 2, 44100, {440.0}), OggSpec{});
    }
};

TEST_F(OggPlayerThread, ARefusedFileStartsNothing) {
    const int threads = test::CountThreads();
    moddeck_refusal why = MODDECK_OK;
    const uint8_t text[] = "not ogg";
    EXPECT_FALSE(StartOggPlayer(ogg, text, sizeof text, &why));
    EXPECT_EQ(why, MODDECK_NOT_OGG_VORBIS);
    EXPECT_FALSE(ogg.output.running());
    EXPECT_EQ(test::CountThreads(), threads);
}

TEST_F(OggPlayerThread, StartsAndStopsTwoHundredTimesSilentlyWithoutLeakingThreads) {
    const std::vector<uint8_t> tone = Tone();
    int threads = -1;  // counted after the first file: runtimes start helpers lazily
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(StartOggPlayer(ogg, tone.data(), tone.size())) << i;
        ASSERT_TRUE(ogg.output.running());
        ASSERT_EQ(ogg.output.source(), 0u);  // no device, no source
        StopOggPlayer(ogg);
        ASSERT_EQ(ogg.output.acknowledged(), 1) << i;
        ASSERT_FALSE(ogg.output.running());
        ASSERT_EQ(ogg.OGG_Buffer, nullptr);
        ASSERT_EQ(ogg.oggdataActual.data, nullptr);
        if (i == 0) threads = test::CountThreads();
    }
    EXPECT_EQ(test::CountThreads(), threads);
}

TEST_F(OggPlayerThread, StartingOverARunningPlayerStopsItFirst) {
    const std::vector<uint8_t> tone = Tone();
    ASSERT_TRUE(StartOggPlayer(ogg, tone.data(), tone.size()));
    StopOggPlayer(ogg);
    const int threads = test::CountThreads();
    ASSERT_TRUE(StartOggPlayer(ogg, tone.data(), tone.size()));
    ASSERT_TRUE(StartOggPlayer(ogg, tone.data(), tone.size()));
    EXPECT_EQ(test::CountThreads(), threads + 1);
    StopOggPlayer(ogg);
    EXPECT_EQ(test::CountThreads(), threads);
}

}  // namespace
}  // namespace moddeck
