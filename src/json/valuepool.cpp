#include "valuepool.h"

#include <memory>
#include <mutex>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QUORLANE_PLAIN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORLANE_PLAIN_HEAP 1
#endif
#endif

namespace quorlane::json {

#ifdef QUORLANE_PLAIN_HEAP

void* AllocateValue(std::size_t size)
{
    return ::operator new(size);
}

void ReleaseValue(void* block, std::size_t) noexcept
{
    ::operator delete(block);
}

#else

namespace {

// Blocks are multiples of 16 bytes, which keeps every block aligned for the extended-precision number.
constexpr std::size_t Granule = 16;
constexpr std::size_t SizeClasses = 8;
constexpr std::size_t SlabSize = 64 * 1024;

struct TFreeBlock
{
    TFreeBlock* Next;
};

// Every slab ever made, kept until the process ends, so that blocks stay valid whichever thread frees them.
class TSlabs
{
public:
    std::byte* Add()
    {
        const std::lock_guard<std::mutex> guard(FLock);
        FSlabs.push_back(std::make_unique<std::byte[]>(SlabSize));
        return FSlabs.back().get();
    }

private:
    std::mutex FLock;
    std::vector<std::unique_ptr<std::byte[]>> FSlabs;
};

TSlabs& Slabs()
{
    // Never destroyed: values freed by other static destructors at exit must still find their slab.
    static TSlabs* slabs = new TSlabs;
    return *slabs;
}

struct TThreadPool
{
    TFreeBlock* Free[SizeClasses] = {};
    std::byte* Cursor = nullptr;
    std::byte* Limit = nullptr;
};

thread_local TThreadPool Pool;

std::size_t SizeClass(std::size_t size)
{
    return (size + Granule - 1) / Granule - 1;
}

} // namespace

void* AllocateValue(std::size_t size)
{
    if (size == 0 || size > Granule * SizeClasses) {
        return ::operator new(size);
    }
    const std::size_t sizeClass = SizeClass(size);
    if (TFreeBlock* block = Pool.Free[sizeClass]) {
        Pool.Free[sizeClass] = block->Next;
        return block;
    }
    const std::size_t bytes = (sizeClass + 1) * Granule;
    if (static_cast<std::size_t>(Pool.Limit - Pool.Cursor) < bytes) {
        Pool.Cursor = Slabs().Add();
        Pool.Limit = Pool.Cursor + SlabSize;
    }
    void* block = Pool.Cursor;
    Pool.Cursor += bytes;
    return block;
}

void ReleaseValue(void* block, std::size_t size) noexcept
{
    if (!block) {
        return;
    }
    if (size == 0 || size > Granule * SizeClasses) {
        ::operator delete(block);
        return;
    }
    const std::size_t sizeClass = SizeClass(size);
    auto* freed = static_cast<TFreeBlock*>(block);
    freed->Next = Pool.Free[sizeClass];
    Pool.Free[sizeClass] = freed;
}

#endif

} // namespace quorlane::json
