#include "picture/block_cache.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

namespace {

// Smaller buffers come from malloc, whose own free lists serve them well.
constexpr std::size_t kMapThreshold = std::size_t(64) << 10;
// Mappings at least this large are aligned to it and asked to use huge pages, which turns
// hundreds of small page faults into one.
constexpr std::size_t kHugePage = std::size_t(2) << 20;

using Block = BlockCache::Block;

void Unmap(Block block) {
    if (block.start) munmap(block.start, block.bytes);
}

// How much is mapped for a request of `bytes`: a little room to spare, since the next snapshot
// of a camera is often a little larger, and whole huge pages where they add little: a partial
// huge page at the end would be made of small pages.
std::size_t MappedLength(std::size_t bytes) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t length = (bytes + bytes / 32 + page - 1) / page * page;
    if (length < kHugePage) return length;
    const std::size_t whole = (length + kHugePage - 1) / kHugePage * kHugePage;
    return whole - length <= length / 16 ? whole : length;
}

Block Map(std::size_t length) {
    if (length < kHugePage) {
        void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) return {};
        return {static_cast<std::uint8_t*>(raw), length};
    }
    const std::size_t reserved = length + kHugePage;
    void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return {};
    auto* start = static_cast<std::uint8_t*>(raw);
    const std::size_t misalign = reinterpret_cast<std::uintptr_t>(start) % kHugePage;
    const std::size_t head = misalign ? kHugePage - misalign : 0;
    if (head) munmap(start, head);
    if (reserved - head > length) munmap(start + head + length, reserved - head - length);
    madvise(start + head, length, MADV_HUGEPAGE);
    return {start + head, length};
}

}  // namespace

BlockCache::~BlockCache() { Unmap(kept_); }

Block BlockCache::Take(std::size_t bytes) {
    Block kept;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        kept = std::exchange(kept_, Block{});
    }
    // Any block mapped for a request up to a sixteenth larger fits; a larger one would hold
    // memory the picture does not need.
    if (kept.start && kept.bytes >= bytes && kept.bytes <= MappedLength(bytes + bytes / 16)) return kept;
    // Given back before mapping anew, so the two never add up.
    Unmap(kept);
    return Map(MappedLength(bytes));
}

void BlockCache::Give(Block block) {
    Block old;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        old = std::exchange(kept_, block);
    }
    Unmap(old);
}

namespace {
// One cache for each kind of buffer, so a picture's bitmap never takes the block of its
// compressed bytes. Never destroyed: buffers may be given back during exit.
BlockCache& Cache(int kind) {
    static auto* caches = new BlockCache[4];
    return caches[kind];
}
}  // namespace

BlockCache& CompressedBlocks() { return Cache(0); }
BlockCache& BitmapBlocks() { return Cache(1); }
BlockCache& StretchedBlocks() { return Cache(2); }
BlockCache& ScratchBlocks() { return Cache(3); }

PictureBuffer::PictureBuffer(BlockCache& cache, std::size_t bytes) {
    if (bytes >= kMapThreshold) {
        const Block block = cache.Take(bytes);
        data_ = block.start;
        if (data_) cache_ = &cache, mappedBytes_ = block.bytes;
    } else {
        data_ = static_cast<std::uint8_t*>(std::malloc(bytes ? bytes : 1));
    }
}

PictureBuffer::PictureBuffer(PictureBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      cache_(std::exchange(other.cache_, nullptr)),
      mappedBytes_(std::exchange(other.mappedBytes_, 0)) {}

PictureBuffer& PictureBuffer::operator=(PictureBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        cache_ = std::exchange(other.cache_, nullptr);
        mappedBytes_ = std::exchange(other.mappedBytes_, 0);
    }
    return *this;
}

void PictureBuffer::Release() noexcept {
    if (cache_) cache_->Give({data_, mappedBytes_});
    else std::free(data_);
    data_ = nullptr;
    cache_ = nullptr;
    mappedBytes_ = 0;
}
