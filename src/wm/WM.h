// Windows Media attributes, read and written through the Windows Media
// runtime interfaces, as the tag session calls them.
#pragma once

#include <utility>

#include "platform/Bytes.h"
#include "platform/File.h"
#include "zmTagIO.h"

namespace zm::wm {

inline constexpr int kFieldCount = 16;   // fields 1 to 16
inline constexpr int kValueSize = 300;   // bytes of each value buffer

// The runtime's reader of the last read, closed and kept for the next: a host
// reads file after file, and a reader holds the memory of the header it read.
class KeptReader {
public:
    KeptReader() = default;
    ~KeptReader() { Keep(nullptr); }
    KeptReader(const KeptReader&) = delete;
    KeptReader& operator=(const KeptReader&) = delete;
    // The reader, now the caller's; null when none is kept.
    IUnknown* Take() { return std::exchange(reader_, nullptr); }
    // Takes over the caller's reference.
    void Keep(IUnknown* reader) {
        if (reader_) reader_->Release();
        reader_ = reader;
    }

private:
    IUnknown* reader_ = nullptr;
};

// The value buffers of fields 1 to 16, one after another in one block, and
// the fields whose attribute was too long to be read whole: their buffers
// hold only its start, so writing all fields leaves such an attribute as it
// is in the file until the host gives the field a value of its own.
struct WMState {
    platform::Buffer values;
    uint32_t cutFields = 0;  // bit id for field id
    // The values' block of the last file read, for the next: a host reads
    // file after file.
    platform::Buffer spare;
    KeptReader reader;
    uint8_t* Value(int id) { return values.data() + size_t(id - 1) * kValueSize; }
    bool IsCut(int id) const { return cutFields & (uint32_t(1) << id); }
    // Forgets the file read, keeping its values' block as the spare (and the
    // reader).
    void Reset() {
        if (!values.empty()) spare = std::move(values);
        cutFields = 0;
    }
};

// The attribute name of field id 0..16 ("Title" for 1), null outside.
const char* WMAttributeNameOf(int id);

// Fills fields 1 to 16 (each with its own value buffer) when the whole read
// succeeds; stores the record's address in out then. file is the file at
// path, open for reading; the read may go through it instead of a second open.
HRESULT ReadWMFromFile(MDRecord& record, WMState& state, const char* path, platform::File& file, MDRecord** out);
// Writes field id (0: all of 1 to 16 but those cut when read) into the
// header of the file at path. A field written by its id is the host's value
// from then on. A file that cannot be opened gives kWMCannotOpen.
HRESULT WriteWMIntoFile(MDRecord& record, WMState& state, const char* path, int id);
extern const HRESULT kWMCannotOpen;

}  // namespace zm::wm
