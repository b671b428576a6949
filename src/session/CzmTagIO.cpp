#include "session/CzmTagIO.h"

#include <algorithm>

namespace zm {

CzmTagIO::CzmTagIO() { std::fill(std::begin(writeTag_), std::end(writeTag_), 1u); }

CzmTagIO::~CzmTagIO() = default;

void CzmTagIO::Reset() {
    file_.Close();
    readStamp_ = {};
    audio_ = {};
    tagBuffer_.Reset();
    id3_ = {};
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
