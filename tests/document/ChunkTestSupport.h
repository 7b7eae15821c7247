// Byte-level builders for chunk streams: headers and concatenation.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "TestSupport.h"

using Bytes = std::vector<uint8_t>;

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
