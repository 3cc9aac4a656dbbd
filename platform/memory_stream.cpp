#include "platform/memory_stream.h"

#include <cstdlib>
#include <cstring>
#include <new>

TMemoryStream::~TMemoryStream() { std::free(data_); }

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= size_) return 0;
    const std::size_t n = count < size_ - position_ ? count : size_ - position_;
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    const std::size_t end = position_ + count;
    if (end < position_) throw std::bad_alloc();
    if (end > size_) SetSize(end);
    std::memcpy(data_ + position_, buffer, count);
    position_ = end;
    return count;
}

void TMemoryStream::Reserve(std::size_t bytes) {
    if (bytes > capacity_) Grow(bytes);
}

void TMemoryStream::SetSize(std::size_t size) {
    if (size > capacity_) {
        // Double so that a body arriving in small pieces costs amortised constant time per byte;
        // realloc lets large blocks move by remapping pages instead of copying them.
        std::size_t target = capacity_ < 4096 ? 4096 : capacity_;
        while (target < size) target = target > SIZE_MAX / 2 ? size : target * 2;
        Grow(target);
    }
    if (size > size_) std::memset(data_ + size_, 0, size - size_);
    size_ = size;
    if (position_ > size_) position_ = size_;
}

void TMemoryStream::Clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = position_ = 0;
}

void TMemoryStream::Grow(std::size_t needed) {
    void* grown = std::realloc(data_, needed);
    if (!grown) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(grown);
    capacity_ = needed;
}
