#include "session/CzmTagIO.h"

namespace zm {
namespace {
constexpr const char* kID3V1Names[] = {"title", "artist", "album", "year", "comment", "track", "genre"};
}

const char* FieldName(int kind, int id) {
    switch (kind) {
        case MD_KIND_ID3V1:
            return (id >= MD_ID3V1_TITLE && id <= MD_ID3V1_GENRE) ? kID3V1Names[id - MD_ID3V1_TITLE] : nullptr;
        case MD_KIND_ID3V2: return id3::FrameIdOf(id);
        case MD_KIND_OGG: return ogg::OGGFieldNameOf(id);
        case MD_KIND_WM: return wm::WMAttributeNameOf(id);
        default: return nullptr;
    }
}

bool IsConvertedField(int kind, int id) { return kind == MD_KIND_ID3V2 && id3::IsConvertedField(id); }

}  // namespace zm
