// Memory for a picture's large buffers (its compressed bytes, its decoded rows, its scaled
// copy), mapped for them and handed on from one picture to the next. Fresh memory is expensive here: each 4 KiB
// page costs a fault on its first touch, and for a large picture those faults take as long as a
// good part of decoding. Each Connect makes a new graphic, and the one it replaces is released
// before the new one fills its buffers, so a camera that sends pictures of about the same size
// every time gets memory whose pages are already there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

/// A cache of one block: the last one given back, until a request it fits or does not.
class BlockCache {
public:
    BlockCache() = default;
    ~BlockCache();
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;

    struct Block {
        std::uint8_t* start = nullptr;
        std::size_t bytes = 0;
    };

    /// A block of at least `bytes` (> 0): the kept one when it fits and is not much larger than
    /// a new mapping would be, else a new mapping; its content is undefined. Returns an empty
    /// block when there is no memory.
    Block Take(std::size_t bytes);
    /// Keeps `block` for the next Take, unmapping the one kept before.
    void Give(Block block);

private:
    std::mutex mutex_;
    Block kept_;
};

/// The caches of the compressed bytes, the decoded rows, the scaled copy, and the scaler's
/// working rows, each kept apart so that one kind never pushes out another. Never destroyed,
/// so a graphic released by a static destructor still finds them.
BlockCache& CompressedBlocks();
BlockCache& BitmapBlocks();
BlockCache& StretchedBlocks();
BlockCache& ScratchBlocks();

/// Owns a buffer of a picture: taken from `cache` when it is large enough for mapping to pay,
/// from malloc otherwise, and given back when destroyed.
class PictureBuffer {
public:
    PictureBuffer() = default;
    /// Leaves the buffer empty (null) when the memory cannot be had.
    PictureBuffer(BlockCache& cache, std::size_t bytes);
    ~PictureBuffer() { Release(); }
    PictureBuffer(PictureBuffer&& other) noexcept;
    PictureBuffer& operator=(PictureBuffer&& other) noexcept;

    std::uint8_t* Data() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    void Release() noexcept;

    std::uint8_t* data_ = nullptr;
    BlockCache* cache_ = nullptr;  // null: malloc'd
    std::size_t mappedBytes_ = 0;
};
