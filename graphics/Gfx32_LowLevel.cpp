#include "graphics/Gfx32_LowLevel.h"

void FillLongword(void* dest, int count, uint32_t value)
{
    uint32_t* p = static_cast<uint32_t*>(dest);
    for (int i = 0; i < count; ++i)
        p[i] = value;
}
