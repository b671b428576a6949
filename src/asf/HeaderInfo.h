// The header-info interfaces over one parsed header, shared by the reader and
// the editor. Attribute indices count the attributes of one stream in file
// order. Only an editor changes attributes; changes reach the file at Flush.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory_resource>
#include <string>

#include "asf/Header.h"

namespace zm::asf {

class CHeaderInfo : public IWMHeaderInfo3 {
public:
    virtual ~CHeaderInfo() = default;

    HRESULT STDMETHODCALLTYPE GetAttributeByName(uint16_t* stream, const char16_t* name, WMT_ATTR_DATATYPE* type,
                                                 uint8_t* value, uint16_t* length) override;
    HRESULT STDMETHODCALLTYPE GetAttributeIndices(uint16_t stream, const char16_t* name, uint16_t* language,
                                                  uint16_t* indices, uint16_t* count) override;
    HRESULT STDMETHODCALLTYPE ModifyAttribute(uint16_t stream, uint16_t index, WMT_ATTR_DATATYPE type,
                                              uint16_t language, const uint8_t* value, uint32_t length) override;
    HRESULT STDMETHODCALLTYPE AddAttribute(uint16_t stream, const char16_t* name, uint16_t* index,
                                           WMT_ATTR_DATATYPE type, uint16_t language, const uint8_t* value,
                                           uint32_t length) override;
    HRESULT STDMETHODCALLTYPE DeleteAttribute(uint16_t stream, uint16_t index) override;
    // The value with its 32-bit length, for values the name lookup's 16-bit
    // length cannot carry. Names are not handed out: name must be null.
    HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(uint16_t stream, uint16_t index, char16_t* name,
                                                    uint16_t* nameLength, WMT_ATTR_DATATYPE* type, uint16_t* language,
                                                    uint8_t* value, uint32_t* length) override;

    // Calls the component never makes.
    HRESULT STDMETHODCALLTYPE GetAttributeCount(uint16_t, uint16_t*) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(uint16_t, uint16_t*, char16_t*, uint16_t*, WMT_ATTR_DATATYPE*,
                                                  uint8_t*, uint16_t*) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAttribute(uint16_t, const char16_t*, WMT_ATTR_DATATYPE, const uint8_t*,
                                           uint16_t) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMarkerCount(uint16_t*) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMarker(uint16_t, char16_t*, uint16_t*, uint64_t*) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMarker(const char16_t*, uint64_t) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMarker(uint16_t) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScriptCount(uint16_t*) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScript(uint16_t, char16_t*, uint16_t*, char16_t*, uint16_t*, uint64_t*) override {
        return kE_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddScript(const char16_t*, const char16_t*, uint64_t) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveScript(uint16_t) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(uint32_t*) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCodecInfo(uint32_t, uint16_t*, char16_t*, uint16_t*, char16_t*, int32_t*, uint16_t*,
                                           uint8_t*) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributeCountEx(uint16_t, uint16_t*) override { return kE_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddCodecInfo(const char16_t*, const char16_t*, int32_t, uint16_t, uint8_t*) override {
        return kE_NOTIMPL;
    }

protected:
    explicit CHeaderInfo(bool writable) : writable_(writable) {}
    // Reads the header through held when given (path is then not used), else
    // through the file at path, opened here.
    HRESULT OpenFile(const char16_t* path, platform::File* held);
    HRESULT CloseFile();
    HRESULT FlushFile();
    ULONG AddReference() { return ++references_; }
    ULONG DropReference() { return --references_; }

private:
    Attribute* Locate(uint16_t stream, uint16_t index);
    HRESULT CheckWritable() const;

    const bool writable_;
    bool open_ = false;
    // The open file's header and everything parsed from it come from here;
    // an ordinary header fits, a larger one borrows more from the heap.
    static constexpr size_t kArenaBytes = 16384;
    alignas(std::max_align_t) std::byte arenaBytes_[kArenaBytes];
    std::pmr::monotonic_buffer_resource arena_{arenaBytes_, kArenaBytes};
    Header header_{&arena_};
    std::string path_;
    std::atomic<ULONG> references_{1};
};

}  // namespace zm::asf
