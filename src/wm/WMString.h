// Attribute text in the two forms the Windows Media code passes around: the
// runtime's UTF-16 and the record's ANSI (the host code page).
#pragma once

#include <cstddef>
#include <memory>

#include "zmTagIO.h"

namespace zm::wm {

using WideText = std::unique_ptr<char16_t[]>;

// A new UTF-16 copy of a zero-terminated ANSI text. A null text or out gives
// E_INVALIDARG; a failed conversion gives 0x8007xxxx (the system's error
// code), prints "Internal error ( hr=0x%08x )" and leaves out null.
HRESULT AnsiToWide(const char* text, WideText* out);
// Whether text converts to UTF-16, failing as AnsiToWide fails, with no copy made.
HRESULT CheckAnsi(const char* text);

// One attribute's text. The UTF-16 form is the attribute's; the ANSI form is
// made from it on first demand and kept.
class CWMString {
public:
    CWMString() = default;
    CWMString(const CWMString&) = delete;
    CWMString& operator=(const CWMString&) = delete;

    // Keeps a UTF-16 copy of text and the text itself.
    HRESULT SetFromAnsi(const char* text);
    // Zeroed room for a UTF-16 text of units units and its terminator, which
    // is this string's text from then on; null when memory runs out.
    char16_t* Receive(size_t units);
    // The same room for the start of a text too long to be held whole, which
    // Cut() then says until the string takes another text.
    char16_t* ReceiveStart(size_t units);
    bool Cut() const { return cut_; }
    // The ANSI text with its terminator into buffer, which holds zeros; the
    // count placed, 0 for no or empty text. Text too long for the buffer is
    // cut to the whole characters within size - 1 bytes and the result is size.
    int CopyToAnsi(char* buffer, int size);

private:
    bool MakeAnsi();

    // A text this short (most tags) is kept in the object itself.
    static constexpr size_t kInlineUnits = 64;
    char16_t inline_[kInlineUnits];
    WideText heap_;
    const char16_t* wide_ = nullptr;  // inline_, heap_ or no text
    std::unique_ptr<char[]> ansi_;
    bool cut_ = false;
};

}  // namespace zm::wm
