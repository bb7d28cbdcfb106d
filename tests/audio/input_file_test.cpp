#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "audio/input_file.h"

using namespace moddeck;

namespace {

// Bytes this process has read so far, by any read call.
uint64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

TEST(InputFile, WholeFileReadsRegularFilesWithinTheLimitOnly) {
    char name[] = "/tmp/moddeck-reader-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_EQ(write(fd, "0123456789", 10), 10);
    close(fd);
    std::vector<uint8_t> out;
    EXPECT_TRUE(ReadWholeFile(name, out, 10));
    EXPECT_EQ(std::string(out.begin(), out.end()), "0123456789");
    EXPECT_FALSE(ReadWholeFile(name, out, 9));
    EXPECT_TRUE(out.empty());
    moddeck_refusal why = MODDECK_OK;
    EXPECT_FALSE(ReadWholeFile(name, out, 9, &why));
    EXPECT_EQ(why, MODDECK_TOO_LARGE);
    unlink(name);
    EXPECT_FALSE(ReadWholeFile("/nonexistent/moddeck/file.xm", out, 100, &why));
    EXPECT_EQ(why, MODDECK_NO_SUCH_FILE);
    EXPECT_FALSE(ReadWholeFile("/tmp", out, 100, &why));
    EXPECT_EQ(why, MODDECK_IS_A_DIRECTORY);
    EXPECT_FALSE(ReadWholeFile("/dev/null", out, 100, &why));
    EXPECT_EQ(why, MODDECK_NOT_A_REGULAR_FILE);
    close(open(name, O_CREAT | O_WRONLY, 0600));
    EXPECT_FALSE(ReadWholeFile(name, out, 100, &why));
    EXPECT_EQ(why, MODDECK_EMPTY_FILE);
    unlink(name);
}

TEST(InputFile, WhatIsTooLargeIsRefusedUnreadAndStreamsAreHeldToTheirLimitAndAByte) {
    char name[] = "/tmp/moddeck-large-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_EQ(ftruncate(fd, off_t(MODDECK_MAX_MODULE_BYTES) + 1), 0);
    std::vector<uint8_t> out;
    moddeck_refusal why = MODDECK_OK;
    // No module is that large, nor is an Ogg page that holds no Vorbis stream.
    for (const char* head : {"XM!!", "OggS"}) {
        ASSERT_EQ(pwrite(fd, head, 4, 0), 4);
        const uint64_t before = BytesRead();
        EXPECT_FALSE(ReadWholeFile(name, out, 0x7FFFFFFF, &why)) << head;
        EXPECT_EQ(why, MODDECK_TOO_LARGE);
        EXPECT_FALSE(ReadWholeStream(fd, out, 0x7FFFFFFF, &why)) << "a file given as standard input";
        EXPECT_EQ(why, MODDECK_TOO_LARGE);
        EXPECT_LT(BytesRead() - before, 4096u) << "refused from its size and first bytes";
    }
    close(fd);
    unlink(name);

    const int zero = open("/dev/zero", O_RDONLY);
    const uint64_t zeroBefore = BytesRead();
    EXPECT_FALSE(ReadWholeStream(zero, out, 0x7FFFFFFF, &why));
    EXPECT_EQ(why, MODDECK_TOO_LARGE);
    EXPECT_LE(BytesRead() - zeroBefore, MODDECK_MAX_MODULE_BYTES + 4096);
    close(zero);

    // A process that is ending reads nothing more, even within the limits.
    EXPECT_EXIT(
        {
            AbandonReading();
            std::exit(ReadWholeFile("/proc/self/exe", out, 0x7FFFFFFF, &why) || why != MODDECK_UNREADABLE);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
