#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "song/reader.h"

using namespace moddeck;

namespace {

struct TempFile {
    std::string path;
    explicit TempFile(const std::string& bytes) {
        char name[] = "/tmp/moddeck-reader-XXXXXX";
        int fd = mkstemp(name);
        path = name;
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    ~TempFile() { unlink(path.c_str()); }
};

// Both sources must behave the same, so every case runs on each.
class ReaderTest : public ::testing::TestWithParam<bool> {
protected:
    SNDMyFILE* Open(const std::string& bytes) {
        if (GetParam()) {
            file_ = std::make_unique<TempFile>(bytes);
            return OpenReader(file_->path.c_str());
        }
        memory_ = bytes;
        return OpenMemoryReader(reinterpret_cast<const uint8_t*>(memory_.data()), memory_.size());
    }
    std::unique_ptr<TempFile> file_;
    std::string memory_;
};

TEST_P(ReaderTest, ValuesAreLittleEndian) {
    SNDMyFILE* r = Open(std::string("\x34\x12\x78\x56\x34\x12\xFF", 7));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(ReadU16(r), 0x1234);
    EXPECT_EQ(ReadU32(r), 0x12345678u);
    EXPECT_EQ(ReadU8(r), 0xFF);
    CloseReader(r);
}

TEST_P(ReaderTest, ReadPastTheEndDeliversZerosAndTellsWhatWasReal) {
    SNDMyFILE* r = Open("abc");
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(ReaderRead(r, buf, 8), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
    for (int i = 3; i < 8; i++) EXPECT_EQ(buf[i], 0) << i;
    EXPECT_EQ(ReaderRemaining(r), 0);
    EXPECT_EQ(ReadU32(r), 0u);
    CloseReader(r);
}

TEST_P(ReaderTest, SeekAndSkipMoveThePosition) {
    SNDMyFILE* r = Open("0123456789");
    ReaderSeek(r, 7);
    EXPECT_EQ(ReadU8(r), '7');
    ReaderSeek(r, 2);
    ReaderSkip(r, 3);
    EXPECT_EQ(ReadU8(r), '5');
    ReaderSkip(r, -4);  // a negative skip (a header remainder below 0) moves nothing
    EXPECT_EQ(ReadU8(r), '6');
    ReaderSeek(r, -10);
    EXPECT_EQ(ReadU8(r), '0');
    ReaderSeek(r, 1000);
    EXPECT_EQ(ReadU8(r), 0);
    char c = 'x';
    EXPECT_EQ(ReaderRead(r, &c, 0), 0u);
    EXPECT_EQ(c, 'x');
    CloseReader(r);
}

INSTANTIATE_TEST_SUITE_P(FileAndMemory, ReaderTest, ::testing::Values(true, false));

TEST(Reader, OpenFailsForMissingFilesAndDirectories) {
    EXPECT_EQ(OpenReader("/nonexistent/moddeck/file.xm"), nullptr);
    EXPECT_EQ(OpenReader("/tmp"), nullptr);
}

TEST(Reader, ModuleSourceIsTheImageWhileOneIsSet) {
    const uint8_t image[] = {42};
    UseModuleImage(image, sizeof image);
    SNDMyFILE* r = OpenModuleReader();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(ReadU8(r), 42);
    CloseReader(r);
    UseModuleFile();
    std::strcpy(fname_tmp, "/nonexistent/moddeck/file.xm");
    EXPECT_EQ(OpenModuleReader(), nullptr);
}

}  // namespace
