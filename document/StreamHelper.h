// The tagged-chunk format of project files and of the clipboard payload: 8-byte headers (four tag
// characters and a signed size), typed payloads, and the walk over the body of a group.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Streams.h"

using TChunkTag = std::array<char, 4>;

// Size values of a header that are not payload sizes.
constexpr int32_t ChunkGroupBegin = -1;
constexpr int32_t ChunkGroupEnd = -2;

// Groups may nest this deep, counted from the outermost group being read. Real files nest a
// handful of levels; the bound keeps a corrupt or hostile stream from recursing without end.
constexpr int ChunkMaxNesting = 100;

struct TChunkHeader {
    TChunkTag Tag{};
    // 0 or more: a data chunk with that many payload bytes; ChunkGroupBegin or ChunkGroupEnd.
    int32_t Size = 0;
};

// A header with the tag from the first four characters of tag (which must have at least four).
TChunkHeader MakeChunkHeader(const std::string& tag, int32_t size);
TChunkTag ChunkTag(const std::string& s);
// The tag as text, with unprintable bytes shown as '?', for messages.
std::string ChunkTagName(const TChunkTag& tag);
// Size is 0 or more and the tag equals tag.
bool IsChunk(const TChunkHeader& header, const std::string& tag);
// Size is ChunkGroupBegin and the tag equals tag.
bool IsGroupBegin(const TChunkHeader& header, const std::string& tag);
// Size when it is negative (a group begin or end), else 0.
int32_t ChunkGroupKind(const TChunkHeader& header);

// Sets the size of a buffer that holds one large payload at a time. Growing allocates exactly
// what is asked for, after releasing the old block: a string's own growth could double a
// picture-sized block, and two such blocks would be held at once.
void ResizePayloadBuffer(std::string& buffer, size_t size);

// Reads and writes chunks on another stream, which it does not own. Read, Write and Seek pass
// straight to the inner stream; nothing is held back. Corrupt input raises EReadError and never
// reads outside the chunk being read nor allocates more than the stream still holds.
class TXDataStream : public TStream {
    SF_CLASS(TXDataStream)
public:
    // Returns true when it consumed the header: a data chunk by reading its payload (what it
    // leaves unread is skipped), a group by reading it up to and including its group end.
    using THeaderHandler = std::function<bool(const TChunkHeader&)>;

    explicit TXDataStream(TStream* stream) : FStream(stream) {}

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t GetSize() override;
    TStream* GetStream() const { return FStream; }
    // Where large payloads (pictures) are encoded before they are written and read before they
    // are decoded. It lives as long as the stream, so a project of many pictures allocates and
    // first touches that memory once rather than once a picture: under Wine, fresh memory costs
    // more than encoding a picture into it.
    std::string& GetPayloadBuffer() { return FPayloadBuffer; }

    void WriteChunkHeader(const TChunkHeader& header);
    void BeginGroup(const std::string& tag);
    void EndGroup(const std::string& tag);
    void WriteInteger(const std::string& tag, int32_t value);
    void WriteWord(const std::string& tag, uint16_t value);
    // A word chunk of $FFFF for true and $0000 for false.
    void WriteBoolean(const std::string& tag, bool value);
    void WriteRect(const std::string& tag, const RECT& rect);
    // Writes count bytes of s from the 1-based offset, or all of s from there when count is
    // below 1. Raises EInvalidArgument when that would reach outside s.
    void WriteString(const std::string& tag, const std::string& s, int32_t offset = 1, int32_t count = 0);
    // The same bytes without a header.
    void WriteRawString(const std::string& s, int32_t offset = 1, int32_t count = 0);
    void WriteData(const std::string& tag, const void* buffer, int32_t size);

    // Raises EReadError for a short read, a size below ChunkGroupEnd, or a payload larger than
    // what remains of the stream.
    void ReadChunkHeader(TChunkHeader& header);
    // Right after a data chunk's header, the fixed-size readers read at most the chunk's payload
    // (missing bytes read as zero) and skip what they leave of it, so a chunk of an unexpected
    // size never throws the reader off the chunk boundaries.
    int32_t ReadInteger();
    uint16_t ReadWord();
    // True when the word is not 0.
    bool ReadBoolean();
    void ReadRect(RECT& rect);
    // Sets s to len bytes read from the stream, reusing the memory s holds when it is large
    // enough; raises EReadError when len is negative or larger than what remains of the stream or
    // of the chunk just begun. A failed read leaves s empty.
    void ReadString(int32_t len, std::string& s);

    // Reads the body of a group whose begin header the caller has read, up to and including the
    // group end that closes it, whatever that end's tag. Each header is offered to the handler at
    // depth 1 only, or at every depth when everyDepth is set; what it does not consume is
    // skipped: data chunks by their size, group headers by counting the depth.
    void ReadGroupBody(const THeaderHandler& handler, bool everyDepth = false);

private:
    void ReadFixed(uint8_t* dest, int32_t size);
    void WriteHeader(const std::string& tag, int32_t size);
    int64_t Remaining();

    TStream* FStream = nullptr;
    // Where the payload of the data chunk whose header was read last begins, or -1.
    int64_t FChunkStart = -1;
    int32_t FChunkSize = 0;
    int FNesting = 0;
    std::string FPayloadBuffer;
};
