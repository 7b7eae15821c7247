#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "platform/Streams.h"

namespace {

constexpr int64_t GiB = 1024LL * 1024 * 1024;

// Tracks a position and a size without storing anything: reads give zeros, writes are counted.
class TPositionOnlyStream : public TStream {
public:
    int64_t Size = 0;
    int64_t Position = 0;
    int64_t Written = 0;

    int32_t Read(void* buffer, int32_t count) override
    {
        int32_t done = static_cast<int32_t>(std::max<int64_t>(0, std::min<int64_t>(count, Size - Position)));
        std::memset(buffer, 0, static_cast<size_t>(done));
        Position += done;
        return done;
    }
    int32_t Write(const void*, int32_t count) override
    {
        Position += count;
        Written += count;
        Size = std::max(Size, Position);
        return count;
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? Position : Size;
        Position = base + offset;
        return Position;
    }
};

TEST(Streams, ShortTransfersRaise)
{
    TMemoryStream stream;
    stream.WriteBuffer("abcd", 4);
    stream.SetPosition(1);
    char buffer[8] = {};
    try {
        stream.ReadBuffer(buffer, 4);
        FAIL() << "a short read must raise";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    stream.SetPosition(0);
    stream.ReadBuffer(buffer, 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    stream.ReadBuffer(buffer, 0);

    TResourceStream resource(GetModuleHandleA(nullptr), "StreamTestData", RT_RCDATA);
    try {
        resource.WriteBuffer("x", 1);
        FAIL() << "a resource stream must refuse writes";
    } catch (const EStreamError& e) {
        EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos);
    }
}

TEST(Streams, MemoryStreamSeeksBeyondEndAndZeroFills)
{
    TMemoryStream stream;
    EXPECT_EQ(stream.Seek(10, TSeekOrigin::soBeginning), 10);
    EXPECT_EQ(stream.GetSize(), 0);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(stream.Read(buffer, 4), 0);
    stream.WriteBuffer("AB", 2);
    ASSERT_EQ(stream.GetSize(), 12);
    EXPECT_EQ(TextOf(stream), std::string(10, '\0') + "AB");
    EXPECT_EQ(stream.Seek(-1, TSeekOrigin::soEnd), 11);
    EXPECT_EQ(stream.Read(buffer, 4), 1);
    EXPECT_EQ(buffer[0], 'B');
    EXPECT_EQ(stream.Read(buffer, 4), 0);
    EXPECT_THROW(stream.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
    EXPECT_EQ(stream.GetPosition(), 12);

    // Shrinking then growing again must not bring old bytes back.
    stream.SetSize(2);
    EXPECT_EQ(stream.GetPosition(), 2);
    stream.SetSize(12);
    EXPECT_EQ(TextOf(stream), std::string(12, '\0'));
    stream.Clear();
    EXPECT_EQ(stream.GetSize(), 0);
    EXPECT_EQ(stream.GetPosition(), 0);
}

TEST(Streams, MemoryStreamGrowsByManySmallWrites)
{
    TMemoryStream stream;
    std::string expected;
    for (int i = 0; i < 100000; ++i) {
        char c = static_cast<char>('a' + i % 26);
        stream.WriteBuffer(&c, 1);
        expected += c;
    }
    EXPECT_EQ(TextOf(stream), expected);
    EXPECT_THROW(stream.SetSize(-1), EStreamError);
    stream.SetPosition(0x7FFFFFF0);
    EXPECT_THROW(stream.WriteBuffer("0123456789abcdefghij", 20), EOutOfMemory);
    EXPECT_EQ(stream.GetSize(), 100000);
}

TEST(Streams, CopyFromCountsAndWholeSource)
{
    TMemoryStream source;
    std::vector<char> data(200000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    source.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));

    TMemoryStream target;
    source.SetPosition(100);
    EXPECT_EQ(target.CopyFrom(&source, 150000), 150000);
    EXPECT_EQ(source.GetPosition(), 150100);
    ASSERT_EQ(target.GetSize(), 150000);
    EXPECT_EQ(std::memcmp(target.GetMemory(), data.data() + 100, 150000), 0);

    // Count 0 means the whole source from its start, wherever its position was.
    TMemoryStream whole;
    EXPECT_EQ(whole.CopyFrom(&source, 0), 200000);
    EXPECT_EQ(std::memcmp(whole.GetMemory(), data.data(), data.size()), 0);

    // Asking for more than the source holds raises instead of copying silently less.
    source.SetPosition(199990);
    TMemoryStream partial;
    EXPECT_THROW(partial.CopyFrom(&source, 20), EReadError);
    EXPECT_THROW(partial.CopyFrom(&source, -1), EStreamError);
}

TEST(Streams, StringStream)
{
    TStringStream stream("hello");
    EXPECT_EQ(stream.ReadString(3), "hel");
    EXPECT_EQ(stream.ReadString(10), "lo");
    EXPECT_EQ(stream.ReadString(1), "");
    stream.WriteString(" world");
    EXPECT_EQ(stream.GetDataString(), "hello world");
    stream.SetPosition(13);
    stream.WriteString("!");
    EXPECT_EQ(stream.GetDataString(), std::string("hello world\0\0!", 14));
    stream.SetSize(5);
    EXPECT_EQ(stream.GetPosition(), 5);
    EXPECT_EQ(stream.GetDataString(), "hello");
    stream.SetPosition(0);
    TMemoryStream copy;
    copy.CopyFrom(&stream, 0);
    EXPECT_EQ(TextOf(copy), "hello");
}

TEST(Streams, FileStreamRoundTripAndErrorsNameTheFile)
{
    std::string name = TestTempFile("stream-round-trip.bin");
    {
        TFileStream file(name, fmCreate);
        file.WriteBuffer("0123456789", 10);
        EXPECT_EQ(file.GetSize(), 10);
        file.SetSize(4);
        EXPECT_EQ(file.GetPosition(), 4);
        EXPECT_EQ(file.GetSize(), 4);
    }
    TMemoryStream memory;
    memory.LoadFromFile(name);
    EXPECT_EQ(TextOf(memory), "0123");
    memory.SetPosition(memory.GetSize());
    memory.WriteBuffer("xy", 2);
    memory.SaveToFile(name);
    {
        TFileStream file(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(file.GetSize(), 6);
        char buffer[6];
        file.ReadBuffer(buffer, 6);
        EXPECT_EQ(std::string(buffer, 6), "0123xy");
        EXPECT_EQ(file.Read(buffer, 6), 0);
        EXPECT_THROW(file.WriteBuffer("z", 1), EWriteError);
        // Denying writes to others: a second writer cannot open the file.
        EXPECT_THROW(TFileStream(name, fmOpenReadWrite), EFOpenError);
        TFileStream reader(name, fmOpenRead | fmShareDenyNone);
        EXPECT_EQ(reader.GetSize(), 6);
    }

    // The all-bits create mode of older callers creates too.
    {
        TFileStream file(name, 0xFFFF);
        EXPECT_EQ(file.GetSize(), 0);
    }

    std::string missing = TestTempFile("no-such-file.bin");
    try {
        TFileStream file(missing, fmOpenRead);
        FAIL() << "opening a missing file must raise";
    } catch (const EFOpenError& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind("Cannot open file \"", 0), 0u) << message;
        EXPECT_NE(message.find("no-such-file.bin\". "), std::string::npos) << message;
        EXPECT_GT(message.size(), message.find("\". ") + 3) << "the system's reason follows";
    }
    std::string badDir = TestTempFile("no-such-folder\\new.bin");
    try {
        TFileStream file(badDir, fmCreate);
        FAIL() << "creating in a missing folder must raise";
    } catch (const EFCreateError& e) {
        std::string message = e.what();
        EXPECT_EQ(message.rfind("Cannot create file \"", 0), 0u) << message;
        EXPECT_NE(message.find("new.bin\". "), std::string::npos) << message;
    }
    TMemoryStream nothing;
    EXPECT_THROW(nothing.LoadFromFile(missing), EFOpenError);
}

TEST(Streams, PositionsBeyondFourGiB)
{
    // A file seeked past 4 GiB: the write lands there and reads back, without 5 GiB of memory.
    std::string name = TestTempFile("sparse.bin");
    {
        TFileStream file(name, fmCreate);
        file.SetPosition(5 * GiB);
        EXPECT_EQ(file.GetPosition(), 5 * GiB);
        file.WriteBuffer("tail", 4);
        EXPECT_EQ(file.GetSize(), 5 * GiB + 4);
        EXPECT_EQ(file.Seek(-4, TSeekOrigin::soEnd), 5 * GiB);
        char buffer[4];
        file.ReadBuffer(buffer, 4);
        EXPECT_EQ(std::string(buffer, 4), "tail");
        file.SetSize(0);
        EXPECT_EQ(file.GetPosition(), 0);
    }
    DeleteFileA(name.c_str());

    // The generic size and copy logic carry 64-bit counts through.
    TPositionOnlyStream big;
    big.Size = 6 * GiB;
    EXPECT_EQ(big.GetSize(), 6 * GiB);
    big.SetPosition(5 * GiB + 3);
    EXPECT_EQ(big.GetSize(), 6 * GiB);
    EXPECT_EQ(big.GetPosition(), 5 * GiB + 3);
    TPositionOnlyStream target;
    target.SetPosition(4 * GiB + 1);
    big.SetPosition(6 * GiB - 1000);
    EXPECT_EQ(target.CopyFrom(&big, 1000), 1000);
    EXPECT_EQ(target.GetPosition(), 4 * GiB + 1001);
}

TEST(Streams, ResourceStream)
{
    TResourceStream resource(GetModuleHandleA(nullptr), "StreamTestData", RT_RCDATA);
    std::string text = TextOf(resource);
    EXPECT_EQ(text.substr(0, 15), "Hello, resource");
    EXPECT_THROW(resource.SetSize(3), EStreamError);
    try {
        TResourceStream missing(GetModuleHandleA(nullptr), "NoSuchResource", RT_RCDATA);
        FAIL() << "a missing resource must raise";
    } catch (const EResNotFound& e) {
        EXPECT_NE(std::string(e.what()).find("NoSuchResource"), std::string::npos);
    }
    EXPECT_THROW(TResourceStream(GetModuleHandleA(nullptr), 4711, RT_RCDATA), EResNotFound);
}

}  // namespace
