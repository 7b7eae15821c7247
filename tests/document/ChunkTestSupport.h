// Byte-level builders for chunk streams: headers, concatenation, and memory streams over bytes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "platform/ObjectModel.h"
#include "platform/Streams.h"

using Bytes = std::vector<uint8_t>;

inline Bytes Contents(TMemoryStream& stream)
{
    auto* p = static_cast<const uint8_t*>(stream.GetMemory());
    return Bytes(p, p + stream.GetSize());
}

// A memory stream holding the given bytes, positioned at its start.
inline TOwned<TMemoryStream> StreamOf(const Bytes& bytes)
{
    TOwned<TMemoryStream> stream(New<TMemoryStream>());
    if (!bytes.empty())
        stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream->SetPosition(0);
    return stream;
}

// A chunk header: the four-character tag, then the size as 32 bits, low byte first.
inline Bytes Header(const char* tag, int32_t size)
{
    Bytes b(tag, tag + 4);
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(size) >> (8 * i)));
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}
