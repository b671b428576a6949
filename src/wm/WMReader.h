// Reading a Windows Media file's attributes into a record through the
// runtime's sync reader.
#pragma once

#include <cstdint>
#include <span>

#include "asf/Engine.h"
#include "asf/WMRuntime.h"
#include "wm/WM.h"
#include "wm/WMString.h"

namespace zm::wm {

// A text attribute into target. Absent: success, target unchanged. Stored
// with another type: E_INVALIDARG. Runtime failures are passed on.
HRESULT GetWMStringAttribute(asf::IWMHeaderInfo* info, const char16_t* name, CWMString& target, uint16_t stream);

// A numeric attribute into destination, by the stored type: DWORD and BOOL 4
// bytes, QWORD 8, WORD 2, as many of their low-order bytes as destination
// holds; the rest of destination, and the whole of it for texts, binaries
// and GUIDs, stays as it was. Absent: success, destination unchanged.
HRESULT GetWMAttribute(asf::IWMHeaderInfo* info, const char16_t* name, std::span<uint8_t> destination,
                       uint16_t stream);

// Everything the read list asks for. Numbers start at 0, texts absent.
struct WMProperties {
    CWMString title, author, description, rating, copyright, signatureName, originalReleaseYear, beatsPerMinute,
        year, trackNumber, genre, publisher, composer, albumArtist, albumCoverURL, albumTitle, director, producer,
        originalReleaseTime, parentalRating;
    uint32_t hasVideo = 0, hasAudio = 0, bitrate = 0, seekable = 0, stridable = 0, broadcast = 0, isProtected = 0,
             isTrusted = 0, hasImage = 0, hasScript = 0, currentBitrate = 0, optimalBitrate = 0, track = 0;
    uint64_t duration = 0, videoDuration = 0, audioDuration = 0;  // 100 ns
    uint64_t encodingTime = 0;                                     // FILETIME
};

// Lives for one read: the sync reader, whether it is open, and the properties.
// The reader is closed (when open) and released with the object.
class CWMPropertyReader {
public:
    CWMPropertyReader() = default;
    ~CWMPropertyReader();
    CWMPropertyReader(const CWMPropertyReader&) = delete;
    CWMPropertyReader& operator=(const CWMPropertyReader&) = delete;

    // Takes the kept sync reader or makes one, opens path (ANSI) with it,
    // reading through file (open at that path) where the reader can, and
    // asks for its header.
    HRESULT Open(const char* path, platform::File& file, KeptReader& kept);
    // Closes the reader and keeps it for the next read.
    void KeepReader(KeptReader& kept);
    // The read list, in order; the first failing lookup ends it. The header
    // interface is released afterwards either way.
    HRESULT ReadProperties();
    // Gives fields 1 to 16 their value buffers, filled from the properties.
    HRESULT FillRecord(MDRecord& record, WMState& state);

private:
    asf::ComPtr<asf::IWMSyncReader> reader_;
    bool open_ = false;
    asf::ComPtr<asf::IWMHeaderInfo> info_;
    WMProperties properties_;
};

}  // namespace zm::wm
