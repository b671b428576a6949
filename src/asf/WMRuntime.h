// The Windows Media runtime as this component calls it: a sync reader and a
// metadata editor over the header attributes of an ASF file.
//
// The interfaces keep the runtime's published slot order, so on Windows a
// pointer that wmvcore.dll hands out is called through these declarations
// directly. Slots this component never calls keep their place with the
// runtime's names. Text is UTF-16 (char16_t: the same units as WCHAR).
//
// COM's base types (HRESULT, GUID, IUnknown) come from the component's public
// header, which lays them out as on Windows where the platform has no COM.
#pragma once

#include <cstdint>

#include "zmTagIO.h"

namespace zm::asf {

enum WMT_ATTR_DATATYPE : int32_t {
    WMT_TYPE_DWORD = 0,   // 4 bytes
    WMT_TYPE_STRING = 1,  // UTF-16, the length counts the terminating zero
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,    // 4 bytes
    WMT_TYPE_QWORD = 4,   // 8 bytes
    WMT_TYPE_WORD = 5,    // 2 bytes
    WMT_TYPE_GUID = 6     // 16 bytes
};

inline constexpr HRESULT kS_OK = 0;
inline constexpr HRESULT kE_NOTIMPL = HRESULT(0x80004001L);
inline constexpr HRESULT kE_NOINTERFACE = HRESULT(0x80004002L);
inline constexpr HRESULT kE_POINTER = HRESULT(0x80004003L);
inline constexpr HRESULT kE_OUTOFMEMORY = HRESULT(0x8007000EL);
inline constexpr HRESULT kE_INVALIDARG = HRESULT(0x80070057L);
inline constexpr HRESULT kE_BUFFERTOOSMALL = HRESULT(0x8007007AL);  // ERROR_INSUFFICIENT_BUFFER
inline constexpr HRESULT kASF_E_NOTFOUND = HRESULT(0xC00D07F0L);
inline constexpr HRESULT kNS_E_FILE_WRITE = HRESULT(0xC00D0018L);
inline constexpr HRESULT kNS_E_FILE_READ = HRESULT(0xC00D0019L);
inline constexpr HRESULT kNS_E_FILE_OPEN_FAILED = HRESULT(0xC00D001DL);
inline constexpr HRESULT kNS_E_INVALID_REQUEST = HRESULT(0xC00D002BL);
inline constexpr HRESULT kNS_E_INVALID_DATA = HRESULT(0xC00D002FL);
inline constexpr HRESULT kNS_E_INVALID_INPUT_FORMAT = HRESULT(0xC00D0BB8L);
inline constexpr HRESULT kNS_E_ATTRIBUTE_READ_ONLY = HRESULT(0xC00D0BD6L);

extern const IID IID_IWMSyncReader;
extern const IID IID_IWMMetadataEditor;
extern const IID IID_IWMHeaderInfo;
extern const IID IID_IWMHeaderInfo2;
extern const IID IID_IWMHeaderInfo3;
extern const IID kIID_IUnknown;

bool SameGuid(const GUID& a, const GUID& b);

struct IWMSyncReader : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(const char16_t* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    // Sample reading follows in the runtime's table; it is never called here.

protected:
    ~IWMSyncReader() = default;
};

struct IWMMetadataEditor : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(const char16_t* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE Flush() = 0;

protected:
    ~IWMMetadataEditor() = default;
};

struct IWMHeaderInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAttributeCount(uint16_t stream, uint16_t* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeByIndex(uint16_t index, uint16_t* stream,
                                                          char16_t* name, uint16_t* nameLength,
                                                          WMT_ATTR_DATATYPE* type, uint8_t* value,
                                                          uint16_t* length) = 0;
    // stream is in and out; value null asks for the type and the length.
    virtual HRESULT STDMETHODCALLTYPE GetAttributeByName(uint16_t* stream, const char16_t* name,
                                                         WMT_ATTR_DATATYPE* type, uint8_t* value,
                                                         uint16_t* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttribute(uint16_t stream, const char16_t* name,
                                                   WMT_ATTR_DATATYPE type, const uint8_t* value,
                                                   uint16_t length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMarkerCount(uint16_t* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMarker(uint16_t index, char16_t* name, uint16_t* nameLength,
                                                uint64_t* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddMarker(const char16_t* name, uint64_t time) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveMarker(uint16_t index) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScriptCount(uint16_t* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScript(uint16_t index, char16_t* type, uint16_t* typeLength,
                                                char16_t* command, uint16_t* commandLength,
                                                uint64_t* time) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddScript(const char16_t* type, const char16_t* command,
                                                uint64_t time) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveScript(uint16_t index) = 0;

protected:
    ~IWMHeaderInfo() = default;
};

struct IWMHeaderInfo2 : public IWMHeaderInfo {
    virtual HRESULT STDMETHODCALLTYPE GetCodecInfoCount(uint32_t* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCodecInfo(uint32_t index, uint16_t* nameLength, char16_t* name,
                                                   uint16_t* descriptionLength, char16_t* description,
                                                   int32_t* codecType, uint16_t* infoLength,
                                                   uint8_t* info) = 0;

protected:
    ~IWMHeaderInfo2() = default;
};

struct IWMHeaderInfo3 : public IWMHeaderInfo2 {
    virtual HRESULT STDMETHODCALLTYPE GetAttributeCountEx(uint16_t stream, uint16_t* count) = 0;
    // language null: every language. indices null asks for the count.
    virtual HRESULT STDMETHODCALLTYPE GetAttributeIndices(uint16_t stream, const char16_t* name,
                                                          uint16_t* language, uint16_t* indices,
                                                          uint16_t* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(uint16_t stream, uint16_t index,
                                                            char16_t* name, uint16_t* nameLength,
                                                            WMT_ATTR_DATATYPE* type, uint16_t* language,
                                                            uint8_t* value, uint32_t* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModifyAttribute(uint16_t stream, uint16_t index,
                                                      WMT_ATTR_DATATYPE type, uint16_t language,
                                                      const uint8_t* value, uint32_t length) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddAttribute(uint16_t stream, const char16_t* name,
                                                   uint16_t* index, WMT_ATTR_DATATYPE type,
                                                   uint16_t language, const uint8_t* value,
                                                   uint32_t length) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAttribute(uint16_t stream, uint16_t index) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddCodecInfo(const char16_t* name, const char16_t* description,
                                                   int32_t codecType, uint16_t infoLength,
                                                   uint8_t* info) = 0;

protected:
    ~IWMHeaderInfo3() = default;
};

// On Windows the system runtime answers when it can make both a reader and an
// editor; otherwise, and everywhere else, the component's own engine does.
HRESULT WMCreateSyncReader(IUnknown* certificate, uint32_t rights, IWMSyncReader** reader);
HRESULT WMCreateEditor(IWMMetadataEditor** editor);

// Owns one reference to an interface and releases it on scope exit.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: drops what was held first.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

}  // namespace zm::asf
