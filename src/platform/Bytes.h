// Owned byte buffers and bounds-checked access to bytes in memory. Every
// parser reads through these, so that no read or write can leave its data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <utility>

namespace zm::platform {

// A heap block that reports allocation failure instead of throwing.
class Buffer {
public:
    Buffer() = default;
    // A block moved away leaves its buffer empty.
    Buffer(Buffer&& other) noexcept
        : data_(std::move(other.data_)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    Buffer& operator=(Buffer&& other) noexcept {
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        return *this;
    }
    // Zero-filled; false (and empty) when memory runs out. A large block
    // comes as fresh pages that are zero already, so a tag of megabytes is
    // not written over with zeros before it is read in.
    bool Allocate(size_t size) {
        data_.reset(static_cast<uint8_t*>(std::calloc(size ? size : 1, 1)));
        size_ = capacity_ = data_ ? size : 0;
        return data_ != nullptr;
    }
    // Zero-filled as Allocate, in the block the buffer holds when it is large
    // enough: a reader going from file to file then allocates nothing.
    bool Reuse(size_t size) {
        if (!data_ || capacity_ < size) return Allocate(size);
        std::memset(data_.get(), 0, size);
        size_ = size;
        return true;
    }
    // Not filled: for a block that is read only as far as it was written,
    // where zeroing it first would touch every byte for nothing.
    bool AllocateUnfilled(size_t size) {
        data_.reset(static_cast<uint8_t*>(std::malloc(size ? size : 1)));
        size_ = capacity_ = data_ ? size : 0;
        return data_ != nullptr;
    }
    void Reset() {
        data_.reset();
        size_ = capacity_ = 0;
    }
    // Empty, with its block kept for Reuse.
    void Clear() { size_ = 0; }
    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }
    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }
    bool empty() const { return !data_; }
    std::span<uint8_t> span() { return {data_.get(), size_}; }
    std::span<const uint8_t> span() const { return {data_.get(), size_}; }

private:
    struct Free {
        void operator()(uint8_t* block) const { std::free(block); }
    };
    std::unique_ptr<uint8_t[], Free> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

inline uint32_t LoadBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint32_t LoadBE24(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }
inline uint16_t LoadBE16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint16_t LoadLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t LoadLE64(const uint8_t* p) { return LoadLE32(p) | uint64_t(LoadLE32(p + 4)) << 32; }

inline void StoreBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void StoreBE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void StoreLE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
    StoreLE32(p, uint32_t(v));
    StoreLE32(p + 4, uint32_t(v >> 32));
}

// A read-only view that answers only for bytes it holds: every accessor
// checks the range and yields nothing outside it.
class ByteView {
public:
    ByteView() = default;
    ByteView(const uint8_t* data, size_t size) : bytes_(data, size) {}
    explicit ByteView(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    const uint8_t* data() const { return bytes_.data(); }
    bool Has(size_t offset, size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    // The sub-view [offset, offset + count), or nothing when it does not fit.
    std::optional<ByteView> Sub(size_t offset, size_t count) const {
        if (!Has(offset, count)) return std::nullopt;
        return ByteView(bytes_.subspan(offset, count));
    }
    std::optional<uint8_t> U8(size_t offset) const {
        if (!Has(offset, 1)) return std::nullopt;
        return bytes_[offset];
    }
    std::optional<uint32_t> BE32(size_t offset) const { return Load<4>(offset, LoadBE32); }
    std::optional<uint32_t> BE24(size_t offset) const { return Load<3>(offset, LoadBE24); }
    std::optional<uint16_t> BE16(size_t offset) const { return Load<2>(offset, LoadBE16); }
    std::optional<uint16_t> LE16(size_t offset) const { return Load<2>(offset, LoadLE16); }
    std::optional<uint32_t> LE32(size_t offset) const { return Load<4>(offset, LoadLE32); }
    std::optional<uint64_t> LE64(size_t offset) const { return Load<8>(offset, LoadLE64); }
    bool Equals(size_t offset, const void* bytes, size_t count) const {
        return Has(offset, count) && std::memcmp(bytes_.data() + offset, bytes, count) == 0;
    }

private:
    template <size_t N, typename F>
    auto Load(size_t offset, F load) const -> std::optional<decltype(load(nullptr))> {
        if (!Has(offset, N)) return std::nullopt;
        return load(bytes_.data() + offset);
    }

    std::span<const uint8_t> bytes_;
};

}  // namespace zm::platform
