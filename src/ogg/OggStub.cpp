// Placeholder until the Ogg reader and writer land: finds no tag.
#include "ogg/Ogg.h"

namespace zm::ogg {
uint32_t GetOGGTagSize(platform::File&, MDRecord&, OggState&) { return 0; }
HRESULT ReadOGGFromFile(platform::File&, MDRecord&, OggState&, uint8_t*, platform::FileRange&) {
    return ZMTAGIO_E_FAIL;
}
bool WriteOGGIntoFile(const MDRecord&, const OggState&, std::span<const uint8_t>, platform::File&) {
    return false;
}
const char* OGGFieldNameOf(int) { return nullptr; }
HRESULT EditOGGField(MDRecord&, platform::GrowBuffer&, int, const MDField&) { return ZMTAGIO_E_FAIL; }
}  // namespace zm::ogg
