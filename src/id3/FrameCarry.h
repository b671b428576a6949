// Frames of version-2.2 and version-2.4 tags carried into the version-2.3
// layout that we write, so that the record and the kept frames hold what the
// writer can put back as it stands.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Bytes.h"

namespace zm::id3 {

// A version-2.4 frame as version 2.3 has it: unsynchronisation undone, the
// data-length indicator taken out (kept as the decompressed size of a
// compressed frame), the extra header bytes in version-2.3 order and the
// flags in the version-2.3 layout. Works in place; returns the body.
std::span<uint8_t> CarryV24Frame(std::span<uint8_t> body, uint16_t* flags);

// Version-2.4 text frames may hold several values, each ended by a zero (in
// UTF-16 a zero unit, and each value with its own byte-order mark). Version
// 2.3 has one value, so they are joined with "/" into one, in place, the first
// value's mark and byte order kept; a closing terminator stays. Returns the
// body. TXXX (a description, then the value) and the lists of people (pairs)
// keep their zeros.
bool HoldsJoinedValues(const char* id);
std::span<uint8_t> JoinTextValues(std::span<uint8_t> body);

// A version-2.2 PIC body (three-letter image format) as an APIC body (MIME
// type). False when memory runs out; a body too short to hold a format is
// copied as it is.
bool PictureToAPIC(std::span<const uint8_t> pic, platform::Buffer& apic);

}  // namespace zm::id3
