// The toolbar tests overwrite freed memory before it goes back to the heap: code that goes on
// using an object a message freed (a toolbar freed while its own menu loop runs) then reads
// pointers that lead nowhere and fails at once, instead of reading what happens to be left.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

void* operator new(std::size_t size)
{
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    if (!p)
        return;
    std::memset(p, 0xDD, _msize(p));
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    ::operator delete(p);
}
