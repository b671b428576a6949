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

// A version-2.2 PIC body (three-letter image format) as an APIC body (MIME
// type). False when memory runs out; a body too short to hold a format is
// copied as it is.
bool PictureToAPIC(std::span<const uint8_t> pic, platform::Buffer& apic);

}  // namespace zm::id3
