// A test switch that makes the Nth file call from the moment it is armed fail.
// Every call of the file layer counts: open, read, write, seek, size, flush,
// move. Disarmed (the state at load) it costs one atomic load per call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zm::platform::fault {

enum class Kind {
    Error,       // the call fails outright
    ShortRead,   // a read returns half of what it could
    ShortWrite,  // a write takes half of its bytes and reports that
    DiskFull     // a write takes half of its bytes, the next attempt fails
};

enum class Op { Open, Read, Write, Seek, Size, Flush, Move };

void Arm(uint64_t nth, Kind kind);
void Disarm();
// File calls made since the last Arm or Reset.
uint64_t Calls();
void Reset();

// Called by the file layer: true when this call is the armed one, with the
// platform's error code set as a real failure would. The kind says how the
// caller is to fail.
bool Hit(Op op, Kind* kind = nullptr);
// A write of want bytes as the armed fault lets it go: false when it fails
// outright, else true with want cut to half for a short write or a full disk.
bool AllowWrite(size_t& want);

}  // namespace zm::platform::fault
