// Attribute text in the two forms the Windows Media code passes around: the
// runtime's UTF-16 and the record's ANSI (the process's code page).
#pragma once

#include <memory>

#include "zmTagIO.h"

namespace zm::wm {

using WideText = std::unique_ptr<char16_t[]>;

// A new UTF-16 copy of a zero-terminated ANSI text. A null text or out gives
// E_INVALIDARG; a failed conversion gives 0x8007xxxx (the system's error
// code), prints "Internal error ( hr=0x%08x )" and leaves out null.
HRESULT AnsiToWide(const char* text, WideText* out);

// One attribute's text. The UTF-16 form is the attribute's; the ANSI form is
// made from it on first demand and kept.
class CWMString {
public:
    // Keeps a UTF-16 copy of text and the text itself.
    HRESULT SetFromAnsi(const char* text);
    // Takes a zero-terminated UTF-16 text.
    void SetWide(WideText text);
    // The ANSI text with its terminator into buffer; the count placed, 0 for
    // no or empty text (the buffer then zeroed). Text too long for the buffer
    // is cut to size - 1 bytes and the result is size.
    int CopyToAnsi(char* buffer, int size);

private:
    bool MakeAnsi();

    WideText wide_;
    std::unique_ptr<char[]> ansi_;
};

}  // namespace zm::wm
