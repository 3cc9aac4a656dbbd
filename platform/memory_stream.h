// Byte streams: TStream is what the HTTP client writes into and the JPEG graphic reads from;
// TMemoryStream is the growable in-memory buffer with a current position.
#pragma once

#include <cstddef>
#include <cstdint>

class TStream {
public:
    virtual ~TStream() = default;
    /// Copies up to `count` bytes from the position on; returns how many were copied.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    /// Writes `count` bytes at the position, growing the stream as needed; returns `count`.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    virtual std::size_t Size() const = 0;
    virtual std::size_t Position() const = 0;
    virtual void SetPosition(std::size_t position) = 0;
    /// A hint that about `bytes` in all will be written; streams may reserve room for them.
    virtual void Reserve(std::size_t /*bytes*/) {}
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::size_t Size() const override { return size_; }
    std::size_t Position() const override { return position_; }
    /// A position past the end is allowed; the next write fills the gap with zeros.
    void SetPosition(std::size_t position) override { position_ = position; }
    void Reserve(std::size_t bytes) override;

    /// Sets the size, keeping the content up to it; new bytes are zero.
    void SetSize(std::size_t size);
    void Clear();
    const std::uint8_t* Memory() const { return data_; }
    std::uint8_t* Memory() { return data_; }

private:
    void Grow(std::size_t needed);

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t position_ = 0;
};
