// Placeholder until the ID3 readers and writers land: finds no tag.
#include "id3/ID3.h"

namespace zm::id3 {
uint32_t ProbeID3Tags(platform::File&, MDRecord&, TagBlocks&, platform::FileRange&) { return 0; }
HRESULT ReadID3V1FromFile(platform::File&, MDRecord&, uint8_t*) { return ZMTAGIO_E_FAIL; }
HRESULT ReadID3V2FromFile(platform::File&, MDRecord&, ID3State&, uint8_t*, uint32_t, const char*,
                          platform::FileRange&) {
    return ZMTAGIO_E_FAIL;
}
bool WriteID3V1IntoFile(MDRecord&, platform::File&) { return false; }
bool WriteID3V2IntoFile(MDRecord&, ID3State&, std::span<const uint8_t>, platform::File&) { return false; }
const char* FrameIdOf(int) { return nullptr; }
HRESULT EditID3V1Field(MDRecord&, platform::Buffer&, int, const MDField&) { return ZMTAGIO_E_FAIL; }
HRESULT EditID3V2Field(MDRecord&, ID3State&, platform::GrowBuffer&, int, MDField&, const char*) {
    return ZMTAGIO_E_FAIL;
}
}  // namespace zm::id3
