// The in-memory byte buffer that receives a snapshot.
#include "platform/memory_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Contents(const TMemoryStream& s) {
    return std::string(reinterpret_cast<const char*>(s.Memory()), s.Size());
}

TEST(MemoryStream, WritesGrowTheBufferAndReadsFollowThePosition) {
    TMemoryStream stream;
    EXPECT_EQ(stream.Size(), 0u);
    std::string big(100000, 'x');
    for (int i = 0; i < 3; ++i) stream.Write(big.data(), big.size());
    EXPECT_EQ(stream.Size(), 300000u);
    EXPECT_EQ(stream.Position(), 300000u);

    stream.SetPosition(0);
    char head[4] = {};
    EXPECT_EQ(stream.Read(head, 4), 4u);
    EXPECT_EQ(std::string(head, 4), "xxxx");
    stream.SetPosition(299998);
    EXPECT_EQ(stream.Read(head, 4), 2u);  // only what is left
    EXPECT_EQ(stream.Read(head, 4), 0u);
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros) {
    TMemoryStream stream;
    stream.Write("ab", 2);
    stream.SetPosition(5);
    stream.Write("c", 1);
    EXPECT_EQ(Contents(stream), std::string("ab\0\0\0c", 6));
    stream.SetPosition(1);
    stream.Write("Z", 1);  // overwrites in place
    EXPECT_EQ(Contents(stream), std::string("aZ\0\0\0c", 6));
}

TEST(MemoryStream, ReserveKeepsContentAndClearEmpties) {
    TMemoryStream stream;
    stream.Write("abc", 3);
    stream.Reserve(1 << 20);
    EXPECT_EQ(Contents(stream), "abc");
    stream.SetSize(1);
    EXPECT_EQ(Contents(stream), "a");
    EXPECT_EQ(stream.Position(), 1u);
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0u);
    EXPECT_EQ(stream.Position(), 0u);
}

}  // namespace
