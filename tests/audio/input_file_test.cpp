#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "audio/input_file.h"

using namespace moddeck;

namespace {

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

}  // namespace
