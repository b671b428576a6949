// Frames on their way into the version-2.3 tag we write: the rules of the
// conversion tables in FrameTable.h applied to one frame at a time.
#pragma once

#include <cstdint>
#include <span>

#include "platform/GrowBuffer.h"

namespace zm::id3 {

// What the rules need to know about the tag being written.
struct CarryContext {
    bool fromV24 = false;  // the frames were read from a version-2.4 tag
    bool hasYear = false;  // the new tag holds a TYER frame
};

// Appends one frame as version 2.3 has it. A body whose UTF-8 text is not
// valid, or does not have the parts its layout names, is carried as it
// stands: changing it would lose it. False when memory ran out (the buffer
// is then released).
bool AppendCarriedFrame(platform::GrowBuffer& tag, const char* id, uint16_t flags, std::span<const uint8_t> body,
                        CarryContext& context);

}  // namespace zm::id3
