#include "document/StreamHelper.h"

#include <algorithm>
#include <cstring>

#include "platform/ScopeGuards.h"

SF_IMPLEMENT_ABSTRACT(TXDataStream, TStream)

namespace {

void PutInt32(uint8_t* p, int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t GetInt32(const uint8_t* p)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return static_cast<int32_t>(v);
}

std::string HeaderText(const TChunkHeader& header)
{
    return "chunk '" + ChunkTagName(header.Tag) + "'";
}

[[noreturn]] void NestedTooDeep()
{
    throw EReadError("Chunk groups are nested more than " + std::to_string(ChunkMaxNesting) + " deep");
}

}  // namespace

TChunkTag ChunkTag(const std::string& s)
{
    if (s.size() < 4)
        throw EInvalidArgument("A chunk tag needs four characters: '" + s + "'");
    TChunkTag tag;
    std::memcpy(tag.data(), s.data(), 4);
    return tag;
}

TChunkHeader MakeChunkHeader(const std::string& tag, int32_t size)
{
    TChunkHeader header;
    header.Tag = ChunkTag(tag);
    header.Size = size;
    return header;
}

std::string ChunkTagName(const TChunkTag& tag)
{
    std::string name(tag.begin(), tag.end());
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            c = '?';
    return name;
}

bool IsChunk(const TChunkHeader& header, const std::string& tag)
{
    return header.Size >= 0 && header.Tag == ChunkTag(tag);
}

bool IsGroupBegin(const TChunkHeader& header, const std::string& tag)
{
    return header.Size == ChunkGroupBegin && header.Tag == ChunkTag(tag);
}

int32_t ChunkGroupKind(const TChunkHeader& header)
{
    return header.Size < 0 ? header.Size : 0;
}

void ResizePayloadBuffer(std::string& buffer, size_t size)
{
    if (size > buffer.capacity()) {
        std::string().swap(buffer);
        buffer.reserve(size);
    }
    buffer.resize(size);
}

// TXDataStream

int32_t TXDataStream::Read(void* buffer, int32_t count)
{
    return FStream->Read(buffer, count);
}

int32_t TXDataStream::Write(const void* buffer, int32_t count)
{
    return FStream->Write(buffer, count);
}

int64_t TXDataStream::Seek(int64_t offset, TSeekOrigin origin)
{
    return FStream->Seek(offset, origin);
}

int64_t TXDataStream::GetSize()
{
    return FStream->GetSize();
}

int64_t TXDataStream::Remaining()
{
    return std::max<int64_t>(0, GetSize() - GetPosition());
}

void TXDataStream::WriteChunkHeader(const TChunkHeader& header)
{
    uint8_t bytes[8];
    std::memcpy(bytes, header.Tag.data(), 4);
    PutInt32(bytes + 4, header.Size);
    WriteBuffer(bytes, sizeof(bytes));
}

void TXDataStream::WriteHeader(const std::string& tag, int32_t size)
{
    WriteChunkHeader(MakeChunkHeader(tag, size));
}

void TXDataStream::BeginGroup(const std::string& tag)
{
    WriteHeader(tag, ChunkGroupBegin);
}

void TXDataStream::EndGroup(const std::string& tag)
{
    WriteHeader(tag, ChunkGroupEnd);
}

void TXDataStream::WriteInteger(const std::string& tag, int32_t value)
{
    uint8_t bytes[4];
    PutInt32(bytes, value);
    WriteData(tag, bytes, sizeof(bytes));
}

void TXDataStream::WriteWord(const std::string& tag, uint16_t value)
{
    uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    WriteData(tag, bytes, sizeof(bytes));
}

void TXDataStream::WriteBoolean(const std::string& tag, bool value)
{
    WriteWord(tag, value ? 0xFFFF : 0x0000);
}

void TXDataStream::WriteRect(const std::string& tag, const RECT& rect)
{
    uint8_t bytes[16];
    PutInt32(bytes, rect.left);
    PutInt32(bytes + 4, rect.top);
    PutInt32(bytes + 8, rect.right);
    PutInt32(bytes + 12, rect.bottom);
    WriteData(tag, bytes, sizeof(bytes));
}

namespace {

// The 0-based start and the length of the bytes that WriteString takes from s.
std::pair<size_t, int32_t> StringSlice(const std::string& s, int32_t offset, int32_t count)
{
    if (offset < 1 || static_cast<size_t>(offset) - 1 > s.size())
        throw EInvalidArgument("String offset " + std::to_string(offset) + " is outside a string of " +
                               std::to_string(s.size()) + " characters");
    size_t start = static_cast<size_t>(offset) - 1;
    size_t rest = s.size() - start;
    if (count < 1)
        return {start, static_cast<int32_t>(rest)};
    if (static_cast<size_t>(count) > rest)
        throw EInvalidArgument("Cannot write " + std::to_string(count) + " characters from offset " +
                               std::to_string(offset) + " of a string of " + std::to_string(s.size()));
    return {start, count};
}

}  // namespace

void TXDataStream::WriteString(const std::string& tag, const std::string& s, int32_t offset, int32_t count)
{
    auto [start, length] = StringSlice(s, offset, count);
    WriteData(tag, s.data() + start, length);
}

void TXDataStream::WriteRawString(const std::string& s, int32_t offset, int32_t count)
{
    auto [start, length] = StringSlice(s, offset, count);
    WriteBuffer(s.data() + start, length);
}

void TXDataStream::WriteData(const std::string& tag, const void* buffer, int32_t size)
{
    if (size < 0)
        throw EInvalidArgument("A chunk cannot hold " + std::to_string(size) + " bytes");
    WriteHeader(tag, size);
    WriteBuffer(buffer, size);
}

void TXDataStream::ReadChunkHeader(TChunkHeader& header)
{
    FChunkStart = -1;
    uint8_t bytes[8];
    ReadBuffer(bytes, sizeof(bytes));
    TChunkHeader read;
    std::memcpy(read.Tag.data(), bytes, 4);
    read.Size = GetInt32(bytes + 4);
    if (read.Size < ChunkGroupEnd)
        throw EReadError("Corrupt " + HeaderText(read) + ": size " + std::to_string(read.Size));
    if (read.Size >= 0) {
        int64_t remaining = Remaining();
        if (read.Size > remaining)
            throw EReadError("Corrupt " + HeaderText(read) + ": " + std::to_string(read.Size) +
                             " bytes announced, " + std::to_string(remaining) + " left in the stream");
        FChunkStart = GetPosition();
        FChunkSize = read.Size;
    }
    header = read;
}

void TXDataStream::ReadFixed(uint8_t* dest, int32_t size)
{
    std::memset(dest, 0, size);
    bool atChunkStart = FChunkStart >= 0 && GetPosition() == FChunkStart;
    FChunkStart = -1;
    if (!atChunkStart) {
        ReadBuffer(dest, size);
        return;
    }
    int32_t taken = std::min(size, FChunkSize);
    ReadBuffer(dest, taken);
    if (FChunkSize > taken)
        Seek(FChunkSize - taken, TSeekOrigin::soCurrent);
}

int32_t TXDataStream::ReadInteger()
{
    uint8_t bytes[4];
    ReadFixed(bytes, sizeof(bytes));
    return GetInt32(bytes);
}

uint16_t TXDataStream::ReadWord()
{
    uint8_t bytes[2];
    ReadFixed(bytes, sizeof(bytes));
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

bool TXDataStream::ReadBoolean()
{
    return ReadWord() != 0;
}

void TXDataStream::ReadRect(RECT& rect)
{
    uint8_t bytes[16];
    ReadFixed(bytes, sizeof(bytes));
    rect.left = GetInt32(bytes);
    rect.top = GetInt32(bytes + 4);
    rect.right = GetInt32(bytes + 8);
    rect.bottom = GetInt32(bytes + 12);
}

void TXDataStream::ReadString(int32_t len, std::string& s)
{
    if (len < 0)
        throw EReadError("Cannot read a string of " + std::to_string(len) + " bytes");
    int64_t position = GetPosition();
    if (FChunkStart >= 0 && position == FChunkStart && len > FChunkSize)
        throw EReadError("A string of " + std::to_string(len) + " bytes does not fit a chunk of " +
                         std::to_string(FChunkSize));
    FChunkStart = -1;
    int64_t remaining = std::max<int64_t>(0, GetSize() - position);
    if (len > remaining)
        throw EReadError("Cannot read a string of " + std::to_string(len) + " bytes: " +
                         std::to_string(remaining) + " left in the stream");
    ResizePayloadBuffer(s, static_cast<size_t>(len));
    TRollback empty([&s] { s.clear(); });
    ReadBuffer(s.data(), len);
    empty.Commit();
}

void TXDataStream::ReadGroupBody(const THeaderHandler& handler, bool everyDepth)
{
    TNestingGuard guard(FNesting, ChunkMaxNesting, NestedTooDeep);
    int depth = 1;
    while (depth > 0) {
        TChunkHeader header;
        ReadChunkHeader(header);
        int64_t payloadEnd = header.Size >= 0 ? GetPosition() + header.Size : -1;
        if ((depth == 1 || everyDepth) && handler(header)) {
            if (payloadEnd < 0)
                continue;
            int64_t position = GetPosition();
            if (position > payloadEnd)
                throw EReadError("The reader of " + HeaderText(header) + " read past its payload");
            if (position < payloadEnd)
                Seek(payloadEnd, TSeekOrigin::soBeginning);
            FChunkStart = -1;
            continue;
        }
        switch (ChunkGroupKind(header)) {
        case ChunkGroupBegin:
            // The bodies being read and the unknown groups open inside this one.
            if (FNesting + depth > ChunkMaxNesting)
                NestedTooDeep();
            ++depth;
            break;
        case ChunkGroupEnd:
            --depth;
            break;
        default:
            Seek(header.Size, TSeekOrigin::soCurrent);
            break;
        }
    }
}
