#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

using TStringStreamPtr = std::unique_ptr<TStringStream, TObjectFree>;
using TBufferedPtr = std::unique_ptr<TBufferedStream, TObjectFree>;

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 7 + i / 251);
    return s;
}

} // namespace

TEST(BufferedStream, ReadsSmallAndLargePiecesAndSeeksInsideAndOutsideTheBuffer)
{
    const std::string data = Pattern(1000);
    TStringStreamPtr inner(New<TStringStream>(data));
    TBufferedPtr stream(New<TBufferedStream>(inner.get(), 64));
    std::string got(10, '\0');
    ASSERT_EQ(stream->Read(got.data(), 10), 10);
    EXPECT_EQ(got, data.substr(0, 10));
    EXPECT_EQ(stream->GetPosition(), 10);

    // Larger than the buffer: straight through.
    std::string big(300, '\0');
    ASSERT_EQ(stream->Read(big.data(), 300), 300);
    EXPECT_EQ(big, data.substr(10, 300));

    stream->Seek(-5, TSeekOrigin::soCurrent);
    ASSERT_EQ(stream->Read(got.data(), 10), 10);
    EXPECT_EQ(got, data.substr(305, 10));
    stream->Seek(900, TSeekOrigin::soBeginning);
    ASSERT_EQ(stream->Read(got.data(), 10), 10);
    EXPECT_EQ(got, data.substr(900, 10));
    EXPECT_EQ(stream->GetSize(), 1000);
    EXPECT_EQ(stream->GetPosition(), 910);
    stream->Seek(-3, TSeekOrigin::soEnd);
    EXPECT_EQ(stream->Read(got.data(), 10), 3);
    EXPECT_EQ(stream->Read(got.data(), 10), 0);
}

TEST(BufferedStream, WritesReachTheInnerStreamOnFlushSeekAndFree)
{
    const std::string data = Pattern(500);
    TStringStreamPtr inner(New<TStringStream>());
    {
        TBufferedPtr stream(New<TBufferedStream>(inner.get(), 64));
        stream->WriteBuffer(data.data(), 10);
        EXPECT_EQ(inner->GetSize(), 0);
        EXPECT_EQ(stream->GetPosition(), 10);
        stream->Flush();
        EXPECT_EQ(inner->GetDataString(), data.substr(0, 10));
        stream->WriteBuffer(data.data() + 10, 200);
        stream->WriteBuffer(data.data() + 210, 20);
        EXPECT_EQ(stream->GetSize(), 230);
        stream->Seek(5, TSeekOrigin::soBeginning);
        stream->WriteBuffer("XY", 2);
        stream->Seek(0, TSeekOrigin::soEnd);
        stream->WriteBuffer(data.data() + 230, 270);
    }
    std::string expected = data;
    expected[5] = 'X';
    expected[6] = 'Y';
    EXPECT_EQ(inner->GetDataString(), expected);
}

TEST(BufferedStream, ReadingAfterWritingSeesTheWrittenBytes)
{
    TStringStreamPtr inner(New<TStringStream>(Pattern(100)));
    TBufferedPtr stream(New<TBufferedStream>(inner.get(), 32));
    char c = 0;
    stream->ReadBuffer(&c, 1);
    stream->WriteBuffer("abc", 3);
    stream->Seek(1, TSeekOrigin::soBeginning);
    std::string got(3, '\0');
    stream->ReadBuffer(got.data(), 3);
    EXPECT_EQ(got, "abc");
    EXPECT_EQ(inner->GetDataString().substr(1, 3), "abc");
}

namespace {

// Records the size of every transfer that reaches it.
class TCallRecordingStream : public TStringStream {
public:
    using TStringStream::TStringStream;
    int32_t Read(void* buffer, int32_t count) override
    {
        Reads.push_back(count);
        return TStringStream::Read(buffer, count);
    }
    int32_t Write(const void* buffer, int32_t count) override
    {
        Writes.push_back(count);
        return TStringStream::Write(buffer, count);
    }
    std::vector<int32_t> Reads;
    std::vector<int32_t> Writes;
};

using TRecordingPtr = std::unique_ptr<TCallRecordingStream, TObjectFree>;

} // namespace

TEST(BufferedStream, TransfersLargerThanTheBufferPassInBufferSizedPieces)
{
    const std::string data = Pattern(1000);
    TRecordingPtr written(New<TCallRecordingStream>());
    {
        TBufferedPtr stream(New<TBufferedStream>(written.get(), 64));
        stream->WriteBuffer(data.data(), 10);
        stream->WriteBuffer(data.data() + 10, 200);
        stream->WriteBuffer(data.data() + 210, 64);
        stream->WriteBuffer(data.data() + 274, 5);
        EXPECT_EQ(stream->GetPosition(), 279);
    }
    // The pending 10 bytes go first, so the order of the bytes is kept.
    EXPECT_EQ(written->Writes, (std::vector<int32_t>{10, 64, 64, 64, 8, 64, 5}));
    EXPECT_EQ(written->GetDataString(), data.substr(0, 279));

    TRecordingPtr read(New<TCallRecordingStream>(data));
    TBufferedPtr stream(New<TBufferedStream>(read.get(), 64));
    std::string got(10, '\0');
    stream->ReadBuffer(got.data(), 10);
    std::string big(300, '\0');
    stream->ReadBuffer(big.data(), 300);
    EXPECT_EQ(big, data.substr(10, 300));
    // One fill of the buffer, then the 246 bytes it did not hold, one buffer's size at a time.
    EXPECT_EQ(read->Reads, (std::vector<int32_t>{64, 64, 64, 64, 54}));
    EXPECT_EQ(stream->GetPosition(), 310);

    // At the end of the inner stream a large read gives what is left and stops asking.
    stream->Seek(900, TSeekOrigin::soBeginning);
    read->Reads.clear();
    std::string tail(500, '\0');
    EXPECT_EQ(stream->Read(tail.data(), 500), 100);
    EXPECT_EQ(tail.substr(0, 100), data.substr(900));
    EXPECT_EQ(read->Reads, (std::vector<int32_t>{64, 64}));
    EXPECT_EQ(stream->GetPosition(), 1000);
    EXPECT_EQ(stream->Read(tail.data(), 500), 0);
}
