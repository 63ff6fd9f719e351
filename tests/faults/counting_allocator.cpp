/*
 * counting_allocator.cpp - the replaced heap functions. Every block comes
 * from the C library's own allocator (glibc's __libc_* entry points), so
 * blocks that the C library allocates internally, stdio's and regcomp's
 * included, pass through here too.
 */
#include "counting_allocator.hpp"

#include <cerrno>
#include <cstdlib>
#include <new>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

struct Heap {
    std::size_t fail_at; /* 0: disarmed */
    bool forever;
    std::size_t requests;
    bool fired;
    long live;
};

constinit Heap heap{0, false, 0, false, 0};

/* Counts one allocation request; true when it is to fail. */
bool refuse()
{
    if (heap.fail_at == 0)
        return false;
    ++heap.requests;
    if (heap.requests == heap.fail_at || (heap.forever && heap.requests > heap.fail_at)) {
        heap.fired = true;
        errno = ENOMEM;
        return true;
    }
    return false;
}

void* counted(void* block)
{
    if (block != nullptr)
        ++heap.live;
    return block;
}

bool valid_alignment(std::size_t alignment)
{
    return alignment != 0 && (alignment & (alignment - 1)) == 0;
}

} // namespace

namespace faults {

void arm(std::size_t n, Mode mode)
{
    heap.requests = 0;
    heap.fired = false;
    heap.forever = mode == Mode::forever;
    heap.fail_at = n;
}

void disarm()
{
    heap.fail_at = 0;
}
std::size_t requests()
{
    return heap.requests;
}
bool fired()
{
    return heap.fired;
}
long live_blocks()
{
    return heap.live;
}

} // namespace faults

extern "C" {

void* malloc(std::size_t size) noexcept
{
    return refuse() ? nullptr : counted(__libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size) noexcept
{
    return refuse() ? nullptr : counted(__libc_calloc(count, size));
}

void* realloc(void* block, std::size_t size) noexcept
{
    if (block == nullptr)
        return malloc(size);
    if (size == 0) { /* glibc releases the block and returns null */
        free(block);
        return nullptr;
    }
    return refuse() ? nullptr : __libc_realloc(block, size);
}

void free(void* block) noexcept
{
    if (block == nullptr)
        return;
    --heap.live;
    __libc_free(block);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept
{
    if (!valid_alignment(alignment) || alignment % sizeof(void*) != 0)
        return EINVAL;
    if (refuse())
        return ENOMEM;
    void* block = counted(__libc_memalign(alignment, size));
    if (block == nullptr)
        return ENOMEM;
    *out = block;
    return 0;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept
{
    if (!valid_alignment(alignment)) {
        errno = EINVAL;
        return nullptr;
    }
    return refuse() ? nullptr : counted(__libc_memalign(alignment, size));
}

void* memalign(std::size_t alignment, std::size_t size) noexcept
{
    return aligned_alloc(alignment, size);
}

} // extern "C"

/* operator new and delete go through the counted malloc and free. */
void* operator new(std::size_t size)
{
    if (void* block = std::malloc(size != 0 ? size : 1))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
