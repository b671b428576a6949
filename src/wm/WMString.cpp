#include "wm/WMString.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/CodePage.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zm::wm {
namespace {

constexpr uint32_t kWin32Facility = 0x80070000;
constexpr uint32_t kErrorOutOfMemory = 14;
#ifndef _WIN32
constexpr uint32_t kErrorNoUnicodeTranslation = 1113;
#endif

// The code that the failed conversion left, as Win32 reports it.
uint32_t ConversionError() {
#ifdef _WIN32
    return GetLastError();
#else
    return kErrorNoUnicodeTranslation;
#endif
}

HRESULT ReportInternalError(uint32_t code) {
    HRESULT hr = HRESULT(kWin32Facility | (code & 0xFFFF));
    std::printf("Internal error ( hr=0x%08x )\n", unsigned(hr));
    std::fflush(stdout);
    return hr;
}

// The length of an all-ASCII text, or -1.
ptrdiff_t AsciiLength(const char16_t* text) {
    ptrdiff_t n = 0;
    for (; text[n]; ++n)
        if (text[n] >= 0x80) return -1;
    return n;
}

}  // namespace

HRESULT AnsiToWide(const char* text, WideText* out) {
    if (!text || !out) return ZMTAGIO_E_INVALIDARG;
    out->reset();
    int units = platform::MultiByteToWideChar(platform::kCodePageHost, text, -1, nullptr, 0);
    if (units <= 0) return ReportInternalError(ConversionError());
    WideText wide(new (std::nothrow) char16_t[size_t(units)]);
    if (!wide) return ReportInternalError(kErrorOutOfMemory);
    if (platform::MultiByteToWideChar(platform::kCodePageHost, text, -1, wide.get(), units) != units)
        return ReportInternalError(ConversionError());
    *out = std::move(wide);
    return ZMTAGIO_S_OK;
}

HRESULT CheckAnsi(const char* text) {
    if (!text) return ZMTAGIO_E_INVALIDARG;
    if (platform::MultiByteToWideChar(platform::kCodePageHost, text, -1, nullptr, 0) <= 0)
        return ReportInternalError(ConversionError());
    return ZMTAGIO_S_OK;
}

HRESULT CWMString::SetFromAnsi(const char* text) {
    wide_ = nullptr;
    cut_ = false;
    ansi_.reset();
    HRESULT hr = AnsiToWide(text, &heap_);
    if (hr < 0) return hr;
    wide_ = heap_.get();
    size_t size = std::strlen(text) + 1;
    ansi_.reset(new (std::nothrow) char[size]);
    if (ansi_) std::memcpy(ansi_.get(), text, size);  // else made again on demand
    return ZMTAGIO_S_OK;
}

char16_t* CWMString::Receive(size_t units) {
    ansi_.reset();
    heap_.reset();
    wide_ = nullptr;
    cut_ = false;
    char16_t* room = inline_;
    if (units >= kInlineUnits) {
        heap_.reset(new (std::nothrow) char16_t[units + 1]);
        if (!heap_) return nullptr;
        room = heap_.get();
    }
    std::fill_n(room, units + 1, u'\0');
    wide_ = room;
    return room;
}

char16_t* CWMString::ReceiveStart(size_t units) {
    char16_t* room = Receive(units);
    cut_ = room != nullptr;
    return room;
}

bool CWMString::MakeAnsi() {
    if (ansi_) return true;
    int size = platform::WideCharToMultiByte(platform::kCodePageHost, wide_, -1, nullptr, 0);
    if (size <= 0) return false;
    std::unique_ptr<char[]> ansi(new (std::nothrow) char[size_t(size)]);
    if (!ansi || platform::WideCharToMultiByte(platform::kCodePageHost, wide_, -1, ansi.get(), size) != size)
        return false;
    ansi_ = std::move(ansi);
    return true;
}

int CWMString::CopyToAnsi(char* buffer, int size) {
    if (!buffer || size <= 0 || !wide_) return 0;
    size_t n;
    // ASCII is the same bytes in a host code page that keeps it, so such a
    // text (most tags) is copied across with no conversion and no ANSI copy kept.
    bool asciiKept = !ansi_ && platform::KeepsAscii(platform::kCodePageHost);
    if (ptrdiff_t ascii = asciiKept ? AsciiLength(wide_) : -1; ascii >= 0) {
        if (ascii == 0) return 0;
        n = size_t(ascii) + 1;
        std::copy_n(wide_, std::min(n, size_t(size)) - 1, buffer);
        return n <= size_t(size) ? int(n) : size;
    }
    if (!MakeAnsi() || ansi_[0] == '\0') return 0;
    n = std::strlen(ansi_.get()) + 1;
    if (n <= size_t(size)) {
        std::memcpy(buffer, ansi_.get(), n);
        return int(n);
    }
    size_t units = platform::UnitsWithin(platform::kCodePageHost, wide_, size_t(size) - 1);
    if (units > 0) platform::WideCharToMultiByte(platform::kCodePageHost, wide_, int(units), buffer, size - 1);
    return size;
}

}  // namespace zm::wm
