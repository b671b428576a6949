// Changes the title of one file through the component, the way a host does:
// MDInit, MDEditField, MDUpdate, MDUninit. The title goes into the ID3v2 tag
// of an MP3 file and into the comments of an Ogg file. With --picture, an Ogg
// file's COMMENT also gets a value of a picture's size (1 MB) when it has
// none and loses it when it has one, so that every run changes how many
// pages the comments take.
#include <cstdio>
#include <cstring>
#include <vector>

#include "TagIOHost.h"

namespace {

// Kind 2 takes text in the record's form: an encoding byte (0, ISO-8859-1)
// and then the text; kind 3 takes the comment's UTF-8 bytes.
constexpr uint8_t kLatin1 = 0;
constexpr size_t kPictureSize = size_t(1) << 20;

// Adds the value when the comment is empty, else empties it.
HRESULT TogglePicture(IzmTagIO* tagio, const MDRecord& record) {
    std::vector<uint8_t> value(record.fields[MD_OGG_COMMENT].size > 0 ? 0 : kPictureSize, 'p');
    MDField field{};
    field.size = int32_t(value.size());
    field.data = value.data();
    return tagio->MDEditField(MD_OGG_COMMENT, &field, MD_KIND_OGG, zm::bench::kNoLanguage, 0, 0);
}

HRESULT Retitle(IzmTagIO* tagio, const char* path, const char* title, bool picture) {
    MDRecord* record = nullptr;
    HRESULT hr = tagio->MDInit(0, path, &record, zm::bench::kNoLanguage, 0);
    if (hr != ZMTAGIO_S_OK || record == nullptr) return hr < 0 ? hr : ZMTAGIO_E_FAIL;
    std::vector<uint8_t> value;
    LONG kind = MD_KIND_ID3V2, id = MD_ID3V2_TIT2;
    if (record->isOgg) {
        kind = MD_KIND_OGG;
        id = MD_OGG_TITLE;
    } else {
        value.push_back(kLatin1);
    }
    value.insert(value.end(), title, title + std::strlen(title));
    MDField field{};
    field.size = int32_t(value.size());
    field.data = value.data();
    hr = tagio->MDEditField(id, &field, kind, zm::bench::kNoLanguage, 0, 0);
    if (hr >= 0 && picture && record->isOgg) hr = TogglePicture(tagio, *record);
    if (hr >= 0) hr = tagio->MDUpdate(0);
    tagio->MDUninit();
    return hr;
}

}  // namespace

int main(int argc, char** argv) {
    bool picture = argc == 4 && std::strcmp(argv[1], "--picture") == 0;
    if (argc != 3 && !picture) {
        std::fprintf(stderr, "usage: %s [--picture] FILE TITLE\n", argv[0]);
        return 2;
    }
    IzmTagIO* tagio = zm::bench::CreateTagIO();
    if (tagio == nullptr) return 1;
    HRESULT hr = Retitle(tagio, argv[argc - 2], argv[argc - 1], picture);
    tagio->Release();
    if (hr != ZMTAGIO_S_OK) std::fprintf(stderr, "%s: hr=0x%08X\n", argv[argc - 2], unsigned(hr));
    return hr == ZMTAGIO_S_OK ? 0 : 1;
}
