// Reading and writing the little-endian fields of ASF objects. The reader
// answers only for the bytes it holds: past them it yields zeros and remembers
// that it ran out, so a parser checks once at the end of a structure.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "asf/ObjectGuids.h"
#include "platform/Bytes.h"

namespace zm::asf {

inline constexpr size_t kObjectHeaderSize = 24;  // GUID, 64-bit size
inline constexpr size_t kObjectSizeAt = 16;

class Cursor {
public:
    explicit Cursor(platform::ByteView bytes, size_t at = 0) : bytes_(bytes), at_(at) {}
    uint16_t U16() { return Field(bytes_.LE16(at_), 2); }
    uint32_t U32() { return Field(bytes_.LE32(at_), 4); }
    uint64_t U64() { return Field(bytes_.LE64(at_), 8); }
    // The next count bytes; an empty view (and the cursor spent) when they are not there.
    platform::ByteView Take(size_t count) {
        auto part = bytes_.Sub(at_, count);
        if (!part) return Fail<platform::ByteView>();
        at_ += count;
        return *part;
    }
    bool ok() const { return ok_; }
    bool AtEnd() const { return ok_ && at_ == bytes_.size(); }
    size_t at() const { return at_; }

private:
    template <typename T>
    T Field(std::optional<T> value, size_t width) {
        if (!value) return Fail<T>();
        at_ += width;
        return *value;
    }
    template <typename T>
    T Fail() {
        ok_ = false;
        at_ = bytes_.size();
        return T{};
    }

    platform::ByteView bytes_;
    size_t at_;
    bool ok_ = true;
};

class ByteSink {
public:
    explicit ByteSink(std::vector<uint8_t>& out) : out_(out) {}
    void U16(uint16_t v) { Put(v, 2); }
    void U32(uint32_t v) { Put(v, 4); }
    void U64(uint64_t v) { Put(v, 8); }
    void Bytes(const uint8_t* data, size_t size) { out_.insert(out_.end(), data, data + size); }
    void Bytes(platform::ByteView bytes) { Bytes(bytes.data(), bytes.size()); }
    void Guid(const ObjectGuid& guid) { Bytes(guid.data(), guid.size()); }
    // An object's GUID and a size to be settled by EndObject; returns its start.
    size_t BeginObject(const ObjectGuid& guid) {
        size_t start = out_.size();
        Guid(guid);
        U64(0);
        return start;
    }
    void EndObject(size_t start) { PatchU64(start + kObjectSizeAt, out_.size() - start); }
    void PatchU32(size_t at, uint32_t v) { platform::StoreLE32(out_.data() + at, v); }
    void PatchU64(size_t at, uint64_t v) { platform::StoreLE64(out_.data() + at, v); }
    size_t size() const { return out_.size(); }

private:
    void Put(uint64_t v, int width) {
        for (int i = 0; i < width; ++i) out_.push_back(uint8_t(v >> (8 * i)));
    }
    std::vector<uint8_t>& out_;
};

}  // namespace zm::asf
