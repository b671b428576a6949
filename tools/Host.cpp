#include "Host.h"

#include <string_view>

namespace zmtagio {
namespace {

struct NamedResult {
    HRESULT hr;
    const char* name;
};

constexpr NamedResult kResultNames[] = {
    {ZMTAGIO_S_OK, "S_OK"},
    {ZMTAGIO_S_FALSE, "S_FALSE"},
    {ZMTAGIO_E_FAIL, "E_FAIL"},
    {ZMTAGIO_E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {ZMTAGIO_E_POINTER, "E_POINTER"},
    {ZMTAGIO_E_NOINTERFACE, "E_NOINTERFACE"},
    {ZMTAGIO_E_INVALIDARG, "E_INVALIDARG"},
    {ZMTAGIO_CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
    {ZMTAGIO_CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
    {ZMTAGIO_ASF_E_NOTFOUND, "ASF_E_NOTFOUND"},
    {ZMTAGIO_E_SHARINGVIOLATION, "E_SHARINGVIOLATION"},
    {ZMTAGIO_E_FILECHANGED, "E_FILECHANGED"},
};

}  // namespace

std::unique_ptr<TagSession> TagSession::Create() {
    IClassFactory* factory = nullptr;
    if (Failed(DllGetClassObject(CLSID_zmTagIO, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        factory == nullptr)
        return nullptr;
    IzmTagIO* object = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IzmTagIO, reinterpret_cast<void**>(&object));
    factory->Release();
    if (Failed(hr) || object == nullptr) return nullptr;
    return std::unique_ptr<TagSession>(new TagSession(object));
}

TagSession::~TagSession() {
    object_->MDUninit();
    object_->Release();
}

HRESULT TagSession::Open(const std::string& path, const Language& language) {
    record_ = nullptr;
    MDRecord* record = nullptr;
    HRESULT hr = object_->MDInit(0, path.c_str(), &record, language.bytes, 0);
    if (!Failed(hr)) record_ = record;
    return hr;
}

HRESULT TagSession::Edit(LONG kind, LONG id, MDField& value, const Language& language) {
    return object_->MDEditField(id, &value, kind, language.bytes, 0, 0);
}

HRESULT TagSession::Remove(LONG kind) { return object_->MDRemoveTag(kind, 0); }

// A rewrite leaves the record's slots pointing at freed memory: the record
// is dropped until the next Open.
HRESULT TagSession::Update() {
    record_ = nullptr;
    return object_->MDUpdate(0);
}

bool Failed(HRESULT hr) { return hr < 0; }

std::string ResultName(HRESULT hr) {
    for (const NamedResult& named : kResultNames)
        if (named.hr == hr) return named.name;
    return ResultHex(hr);
}

// Written digit by digit: formatting costs more than the rest of a JSON line.
std::string ResultHex(HRESULT hr) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string text = "0x00000000";
    for (size_t digit = 0; digit < 8; ++digit) text[9 - digit] = kDigits[(uint32_t(hr) >> (4 * digit)) & 15];
    return text;
}

}  // namespace zmtagio
