#include "session/CzmTagIO.h"

#include <algorithm>

namespace zm {
namespace {

constexpr size_t kKeptTagBlock = 64 * 1024;

}  // namespace

CzmTagIO::CzmTagIO() { std::fill(std::begin(writeTag_), std::end(writeTag_), 1u); }

CzmTagIO::~CzmTagIO() = default;

void CzmTagIO::Reset() {
    file_.Close();
    readStamp_ = {};
    audio_ = {};
    // The block of a usual tag serves the next file; a large one is given back.
    if (tagBuffer_.capacity() > kKeptTagBlock)
        tagBuffer_.Reset();
    else
        tagBuffer_.Clear();
    id3_.Clear();
    editedFrames_.Release();
    id3v1EditBlock_.Reset();
    ogg_ = {};
    wm_.Reset();
}

HRESULT STDMETHODCALLTYPE CzmTagIO::MDRemoveTag(LONG kind, LONG) {
    if (kind < 0 || kind >= kTagKinds) return ZMTAGIO_E_INVALIDARG;
    writeTag_[kind] = 0;
    return ZMTAGIO_S_OK;
}

HRESULT STDMETHODCALLTYPE CzmTagIO::MDUninit() {
    KeepRecordBlock();
    Reset();
    return ZMTAGIO_S_OK;
}

}  // namespace zm
