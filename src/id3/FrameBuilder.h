// Frames in the version-2.3 layout we write: id (4 bytes), body size (plain
// big-endian 32 bits), two flag bytes, body.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>

#include "platform/GrowBuffer.h"

namespace zm::id3 {

inline constexpr uint32_t kFrameHeader = 10;

// Appends one frame whose body is the parts one after another. False when
// memory ran out (the buffer is then released, as AppendToBuffer does).
bool AppendFrame(platform::GrowBuffer& buffer, const char* id, uint16_t flags,
                 std::initializer_list<std::span<const uint8_t>> body);

// Visits every frame of bytes in this layout, in order, until one does not
// fit; the visit returns false to stop.
using FrameVisit = std::function<bool(const char* id, uint16_t flags, std::span<const uint8_t> body)>;
void ForEachFrame(std::span<const uint8_t> frames, const FrameVisit& visit);

// Gives an empty buffer room for size bytes at once, so that appends within
// it never move it.
bool ReserveBuffer(platform::GrowBuffer& buffer, uint64_t size);

// Appends count zero bytes, growing the buffer once when they do not fit.
// False when memory ran out (the buffer is then released).
bool AppendZeros(platform::GrowBuffer& buffer, uint32_t count);

}  // namespace zm::id3
