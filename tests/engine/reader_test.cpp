#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "song/reader.h"

using namespace moddeck;

namespace {

SNDMyFILE Over(const std::string& bytes) {
    return OpenMemoryReader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(Reader, ValuesAreLittleEndian) {
    const std::string bytes("\x34\x12\x78\x56\x34\x12\xFF", 7);
    SNDMyFILE r = Over(bytes);
    EXPECT_EQ(ReadU16(&r), 0x1234);
    EXPECT_EQ(ReadU32(&r), 0x12345678u);
    EXPECT_EQ(ReadU8(&r), 0xFF);
}

TEST(Reader, ReadPastTheEndDeliversZerosAndTellsWhatWasReal) {
    const std::string bytes = "abc";
    SNDMyFILE r = Over(bytes);
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(ReaderRead(&r, buf, 8), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
    for (int i = 3; i < 8; i++) EXPECT_EQ(buf[i], 0) << i;
    EXPECT_EQ(ReaderRemaining(&r), 0);
    EXPECT_EQ(ReadU32(&r), 0u);
}

TEST(Reader, SeekAndSkipMoveThePosition) {
    const std::string bytes = "0123456789";
    SNDMyFILE r = Over(bytes);
    ReaderSeek(&r, 7);
    EXPECT_EQ(ReadU8(&r), '7');
    ReaderSeek(&r, 2);
    ReaderSkip(&r, 3);
    EXPECT_EQ(ReadU8(&r), '5');
    ReaderSkip(&r, -4);  // a negative skip (a header remainder below 0) moves nothing
    EXPECT_EQ(ReadU8(&r), '6');
    ReaderSeek(&r, -10);
    EXPECT_EQ(ReadU8(&r), '0');
    ReaderSeek(&r, 1000);
    EXPECT_EQ(ReadU8(&r), 0);
    char c = 'x';
    EXPECT_EQ(ReaderRead(&r, &c, 0), 0u);
    EXPECT_EQ(c, 'x');
}

}  // namespace
