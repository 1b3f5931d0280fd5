#include <cstdio>
#include <string>

#include "InputSource.h"
#include "TestSupport.h"

using namespace h265headers;

TEST(MemInputSource, ReturnsEveryByteThenSignalsEndOfData) {
    const Bytes data = Hex("00 7F 80 FF");
    CMemInputSource source(data.data(), static_cast<int>(data.size()));
    for (unsigned char expected : data)
        EXPECT_EQ(expected, source.ReadByte()); // 0xFF comes out as 255, never negative
    EXPECT_END_OF_DATA(source.ReadByte());
    EXPECT_END_OF_DATA(source.ReadByte()); // and keeps doing so
}

TEST(MemInputSource, UnreadStepsBackToTheFirstByteAndNoFurther) {
    const Bytes data = Hex("11 22 33");
    CMemInputSource source(data.data(), 3);
    source.ReadByte();
    source.ReadByte();
    source.UnreadByte();
    EXPECT_EQ(0x22u, source.ReadByte());
    source.UnreadByte();
    source.UnreadByte();
    EXPECT_END_OF_DATA(source.UnreadByte());
    EXPECT_EQ(0x11u, source.ReadByte());
}

TEST(MemInputSource, NonPositiveLengthIsAnEmptyBlock) {
    const Bytes data = Hex("11");
    for (int len : {0, -1, -2147483647 - 1}) {
        CMemInputSource source(data.data(), len);
        EXPECT_END_OF_DATA(source.ReadByte());
    }
}

TEST(FileInputSource, ReadsTheFileThenSignalsEndOfData) {
    std::string path = ::testing::TempDir() + "h265headers_file_source.bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    const unsigned char bytes[] = {0x01, 0xFF, 0x00};
    std::fwrite(bytes, 1, sizeof bytes, f);
    std::fclose(f);

    CFileInputSource source(path.c_str());
    EXPECT_EQ(0x01u, source.ReadByte());
    EXPECT_EQ(0xFFu, source.ReadByte());
    source.UnreadByte();
    EXPECT_EQ(0xFFu, source.ReadByte());
    EXPECT_EQ(0x00u, source.ReadByte());
    EXPECT_END_OF_DATA(source.ReadByte());
    EXPECT_END_OF_DATA(source.ReadByte());
    std::remove(path.c_str());
}

TEST(FileInputSource, MissingFileSignalsEndOfDataFromTheConstructor) {
    EXPECT_END_OF_DATA(CFileInputSource source("/nonexistent/h265headers/none.bin"));
}
