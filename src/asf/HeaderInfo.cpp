#include "asf/HeaderInfo.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "asf/AttributeObjects.h"
#include "asf/Computed.h"

namespace zm::asf {
namespace {

constexpr uint16_t kMaxIndex = 0xFFFF;

// Containers throw only when memory runs out; no exception leaves a call.
template <typename Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return kE_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT CHeaderInfo::OpenFile(const char16_t* path, platform::File* held) {
    if (open_) return kNS_E_INVALID_REQUEST;
    return Guarded([&] {
        HRESULT hr = LoadHeader(path, held, header_, path_);
        open_ = hr >= 0;
        return hr;
    });
}

HRESULT CHeaderInfo::CloseFile() {
    if (!open_) return kNS_E_INVALID_REQUEST;
    open_ = false;
    header_ = Header(&arena_);
    arena_.release();
    return kS_OK;
}

HRESULT CHeaderInfo::FlushFile() {
    if (!open_) return kNS_E_INVALID_REQUEST;
    return Guarded([&] { return FlushHeader(path_, header_); });
}

HRESULT CHeaderInfo::CheckWritable() const {
    return writable_ && open_ ? kS_OK : kNS_E_INVALID_REQUEST;
}

Attribute* CHeaderInfo::Locate(uint16_t stream, uint16_t index) {
    for (Attribute& a : header_.attributes)
        if (a.stream == stream && index-- == 0) return &a;
    return nullptr;
}

HRESULT STDMETHODCALLTYPE CHeaderInfo::GetAttributeByName(uint16_t* stream, const char16_t* name,
                                                          WMT_ATTR_DATATYPE* type, uint8_t* value, uint16_t* length) {
    if (!open_) return kNS_E_INVALID_REQUEST;
    if (!stream || !name || !type || !length) return kE_INVALIDARG;
    std::u16string_view wanted(name);
    ComputedValue computed;
    WMT_ATTR_DATATYPE found = WMT_TYPE_BINARY;
    std::optional<Value> bytes;
    if (*stream == 0 && ComputedAttribute(header_, wanted, found, computed)) {
        bytes = Value(computed.bytes, computed.size);
    } else if (header_.storedNames & NameBit(wanted)) {
        // Writers change the language-neutral attribute of a name, so it is
        // the one read; one stored only under a language is read otherwise.
        const Attribute* match = nullptr;
        for (const Attribute& a : header_.attributes) {
            if (a.stream != *stream || !SameName(a.name, wanted)) continue;
            if (!match || a.language == 0) match = &a;
            if (a.language == 0) break;
        }
        if (match) {
            bytes = match->value;
            found = match->type;
        }
    }
    if (!bytes) {
        *length = 0;
        return kASF_E_NOTFOUND;
    }
    // This call's lengths are 16-bit; longer values are not handed out through it.
    if (bytes->size() > 0xFFFF) return kE_BUFFERTOOSMALL;
    uint16_t needed = uint16_t(bytes->size());
    *type = found;
    if (value && *length < needed) {
        *length = needed;
        return kE_BUFFERTOOSMALL;
    }
    if (value && needed) std::memcpy(value, bytes->data(), needed);
    *length = needed;
    return kS_OK;
}

HRESULT STDMETHODCALLTYPE CHeaderInfo::GetAttributeByIndexEx(uint16_t stream, uint16_t index, char16_t* name,
                                                             uint16_t* nameLength, WMT_ATTR_DATATYPE* type,
                                                             uint16_t* language, uint8_t* value, uint32_t* length) {
    if (!open_) return kNS_E_INVALID_REQUEST;
    if (name || !type || !language || !length) return kE_INVALIDARG;
    const Attribute* found = Locate(stream, index);
    if (!found) return kE_INVALIDARG;
    if (nameLength) *nameLength = uint16_t(found->name.size() + 1);
    *type = found->type;
    *language = found->language;
    if (value && *length < found->value.size()) {
        *length = uint32_t(found->value.size());
        return kE_BUFFERTOOSMALL;
    }
    if (value && !found->value.empty()) std::memcpy(value, found->value.data(), found->value.size());
    *length = uint32_t(found->value.size());
    return kS_OK;
}

HRESULT STDMETHODCALLTYPE CHeaderInfo::GetAttributeIndices(uint16_t stream, const char16_t* name, uint16_t* language,
                                                           uint16_t* indices, uint16_t* count) {
    if (!open_) return kNS_E_INVALID_REQUEST;
    if (!name || !count) return kE_INVALIDARG;
    return Guarded([&] {
        std::u16string_view wanted(name);
        std::vector<uint16_t> found;
        uint16_t index = 0;
        for (const Attribute& a : header_.attributes) {
            if (a.stream != stream) continue;
            if (a.name == wanted && (!language || *language == a.language)) found.push_back(index);
            ++index;
        }
        if (indices && *count < found.size()) {
            *count = uint16_t(found.size());
            return kE_BUFFERTOOSMALL;
        }
        if (indices) std::copy(found.begin(), found.end(), indices);
        *count = uint16_t(found.size());
        return kS_OK;
    });
}

HRESULT STDMETHODCALLTYPE CHeaderInfo::ModifyAttribute(uint16_t stream, uint16_t index, WMT_ATTR_DATATYPE type,
                                                       uint16_t language, const uint8_t* value, uint32_t length) {
    if (HRESULT hr = CheckWritable(); hr < 0) return hr;
    return Guarded([&] {
        Attribute* target = Locate(stream, index);
        if (!target) return kE_INVALIDARG;
        Attribute changed = *target;
        if (!NormalizeValue(type, value, length, header_.arena(), changed.value)) return kE_INVALIDARG;
        changed.type = type;
        changed.language = language;
        changed.home = HomeFor(header_.attributes, changed, target->home, target);
        // A text that leaves the Content Description is no longer repeated.
        if (changed.home != Home::ContentDescription) changed.repeats = {};
        header_.dirty[int(target->home)] = header_.dirty[int(changed.home)] = true;
        if (!target->repeats.empty()) header_.dirty[int(Home::ExtendedContent)] = true;
        *target = changed;
        return kS_OK;
    });
}

HRESULT STDMETHODCALLTYPE CHeaderInfo::AddAttribute(uint16_t stream, const char16_t* name, uint16_t* index,
                                                    WMT_ATTR_DATATYPE type, uint16_t language, const uint8_t* value,
                                                    uint32_t length) {
    if (HRESULT hr = CheckWritable(); hr < 0) return hr;
    if (!name) return kE_INVALIDARG;
    return Guarded([&] {
        std::u16string_view wanted(name);
        if (!StorableName(wanted)) return kE_INVALIDARG;
        if (stream == 0 && IsComputedName(wanted)) return kNS_E_ATTRIBUTE_READ_ONLY;
        Attribute added;
        if (!NormalizeValue(type, value, length, header_.arena(), added.value)) return kE_INVALIDARG;
        added.name = ArenaName(header_.arena(), wanted);
        added.type = type;
        added.stream = stream;
        added.language = language;
        auto inStream = std::count_if(header_.attributes.begin(), header_.attributes.end(),
                                      [stream](const Attribute& a) { return a.stream == stream; });
        if (inStream >= kMaxIndex) return kE_INVALIDARG;
        Home preferred = IsContentDescriptionName(added.name) ? Home::ContentDescription : Home::ExtendedContent;
        added.home = HomeFor(header_.attributes, added, preferred);
        header_.dirty[int(added.home)] = true;
        header_.attributes.push_back(added);
        header_.storedNames |= NameBit(added.name);
        if (index) *index = uint16_t(inStream);
        return kS_OK;
    });
}

HRESULT STDMETHODCALLTYPE CHeaderInfo::DeleteAttribute(uint16_t stream, uint16_t index) {
    if (HRESULT hr = CheckWritable(); hr < 0) return hr;
    Attribute* target = Locate(stream, index);
    if (!target) return kE_INVALIDARG;
    header_.dirty[int(target->home)] = true;
    if (!target->repeats.empty()) header_.dirty[int(Home::ExtendedContent)] = true;
    header_.attributes.erase(header_.attributes.begin() + (target - header_.attributes.data()));
    return kS_OK;
}

}  // namespace zm::asf
