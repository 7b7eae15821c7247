#include "graphics/Gfx32_CPUid.h"

#include <cpuid.h>

#include <cstdint>

namespace {
struct TCpuidLeaf1 {
    uint32_t Eax = 0;
    uint32_t Edx = 0;
};

TCpuidLeaf1 ReadLeaf1()
{
    TCpuidLeaf1 leaf;
    if (!CPUIDAvailable())
        return leaf;
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid(0, a, b, c, d);
    if (a < 1)
        return leaf;
    __cpuid(1, a, b, c, d);
    leaf.Eax = a;
    leaf.Edx = d;
    return leaf;
}
}

bool CPUIDAvailable()
{
#if defined(__x86_64__)
    // Every x86-64 processor has CPUID; the flag probe below is 32-bit code.
    return true;
#else
    uint32_t before = 0;
    uint32_t after = 0;
    asm volatile(
        "pushfl\n\t"
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl $0x200000, %0\n\t"
        "pushl %0\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %0\n\t"
        "popfl\n\t"
        : "=&r"(after), "=&r"(before)
        :
        : "cc");
    return ((after ^ before) & 0x200000) != 0;
#endif
}

bool HasMMX()
{
    TCpuidLeaf1 leaf = ReadLeaf1();
    uint32_t family = (leaf.Eax >> 8) & 0xF;
    return family >= 5 && (leaf.Edx & (1u << 23)) != 0;
}

bool HasSSE2()
{
    return HasMMX() && (ReadLeaf1().Edx & (1u << 26)) != 0;
}
