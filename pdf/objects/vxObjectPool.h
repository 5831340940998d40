// Memory for PDF values. A document holds millions of small objects; malloc
// pads each one (a 16-byte integer takes 32) and frees them one by one, which
// showed as a fifth of a large file's memory and time. The pool hands out
// exact size classes carved from large blocks, keeps freed pieces on
// per-thread lists and gives the blocks back only at exit.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define VX_OBJECT_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_OBJECT_POOL 0
#endif
#endif
#ifndef VX_OBJECT_POOL
#define VX_OBJECT_POOL 1
#endif

namespace vx {

// Sizes above this go to the global allocator.
inline constexpr size_t MaxPooledSize = 128;

// Size bytes; throws std::bad_alloc like operator new. Under AddressSanitizer
// both go straight to the global allocator, so its checks see every object.
void* PoolAllocate(size_t Size);
// P came from PoolAllocate with the same Size.
void PoolFree(void* P, size_t Size) noexcept;

// Bytes in blocks the pool holds, in use or free (for the benchmarks).
size_t PoolReservedBytes();
// Bytes of pieces in use (for the benchmarks): those the calling thread and
// threads that ended took, less those they gave back.
int64_t PoolInUseBytes();

}  // namespace vx
