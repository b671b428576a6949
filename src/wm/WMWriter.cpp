#include "wm/WMWriter.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "wm/WMFieldNames.h"
#include "wm/WMString.h"

namespace zm::wm {

const HRESULT kWMCannotOpen = asf::kNS_E_FILE_OPEN_FAILED;

const char* WMAttributeNameOf(int id) { return id >= 0 && id <= kFieldCount ? kAttributeNames[id] : nullptr; }

HRESULT OpenWMEditor(const char16_t* path, asf::IWMMetadataEditor** editor, asf::IWMHeaderInfo3** info) {
    if (!path || !editor || !info) return ZMTAGIO_E_INVALIDARG;
    HRESULT hr = asf::WMCreateEditor(editor);
    if (hr < 0) return hr;
    hr = (*editor)->Open(path);
    if (hr < 0) return hr;
    hr = (*editor)->QueryInterface(asf::IID_IWMHeaderInfo3, reinterpret_cast<void**>(info));
    if (hr < 0) (*editor)->Close();
    return hr;
}

HRESULT FindWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, const char16_t* name, uint16_t language,
                        IndexList* indices, uint16_t* count) {
    if (!info || !indices || !count) return ZMTAGIO_E_INVALIDARG;
    indices->reset();
    *count = 0;
    uint16_t found = 0;
    HRESULT hr = info->GetAttributeIndices(stream, name, &language, nullptr, &found);
    if (hr < 0 || found == 0) return hr;
    IndexList list(new (std::nothrow) uint16_t[found]);
    if (!list) return ZMTAGIO_E_OUTOFMEMORY;
    hr = info->GetAttributeIndices(stream, name, &language, list.get(), &found);
    if (hr < 0) return hr;
    *indices = std::move(list);
    *count = found;
    return hr;
}

HRESULT DeleteWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, uint16_t index) {
    HRESULT hr = info ? info->DeleteAttribute(stream, index) : ZMTAGIO_E_INVALIDARG;
    if (hr < 0) {
        std::printf("DeleteAttribute failed for stream = %d and index = %d ( hr=0x%08x ).\n", int(stream), int(index),
                    unsigned(hr));
        std::fflush(stdout);
    }
    return hr;
}

HRESULT SetWMAttribute(asf::IWMHeaderInfo3* info, uint16_t stream, const char16_t* name,
                       asf::WMT_ATTR_DATATYPE type, const char16_t* value, uint16_t language) {
    IndexList indices;
    uint16_t count = 0;
    HRESULT hr = FindWMAttribute(info, stream, name, language, &indices, &count);
    if (hr < 0) return hr;
    // Only the first attribute of a name is changed; the others stay.
    if (count > 0 && type == asf::WMT_TYPE_STRING && value && value[0] == 0) {
        DeleteWMAttribute(info, stream, indices[0]);  // reports its own failure
        return hr;
    }
    if (count > 0) return ModifyWMAttribute(info, stream, indices[0], type, value, language);
    return AddWMAttribute(info, stream, name, type, value, language);
}

// The fields' text is read up to its terminator within the value buffer. The
// table has rows for ids 0 to 16 only: other ids are refused before the file
// is opened.
HRESULT WriteWMIntoFile(MDRecord& record, WMState& state, const char* path, int id) {
    if (id < 0 || id > kFieldCount) return ZMTAGIO_E_INVALIDARG;
    WideText widePath;
    AnsiToWide(path, &widePath);  // a failure is printed; the null path is refused below
    asf::ComPtr<asf::IWMMetadataEditor> editor;
    asf::ComPtr<asf::IWMHeaderInfo3> info;
    HRESULT hr = OpenWMEditor(widePath.get(), editor.Put(), info.Put());
    if (hr < 0) return hr;
    int first = id == 0 ? 1 : id;
    int last = id == 0 ? kFieldCount : id;
    for (int field = first; field <= last; ++field) {
        const MDField& slot = record.fields[field];
        if (slot.size <= 0 || !slot.data || (id == 0 && state.IsCut(field))) continue;
        const char* data = reinterpret_cast<const char*>(slot.data);
        std::string text(data, strnlen(data, kValueSize));
        WideText value;
        if ((hr = AnsiToWide(text.c_str(), &value)) < 0) break;
        hr = SetWMAttribute(info.get(), 0, WMFieldNames[size_t(field)].name, asf::WMT_TYPE_STRING, value.get(), 0);
        if (hr < 0) break;
        state.cutFields &= ~(uint32_t(1) << field);
    }
    // What was set before a failure is saved all the same; a save that fails
    // fails the update.
    HRESULT saved = editor->Flush();
    editor->Close();
    return hr < 0 || saved >= 0 ? hr : saved;
}

}  // namespace zm::wm
