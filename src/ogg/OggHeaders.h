// Finding the header pages of an Ogg Vorbis or Ogg Opus file and reading its
// comment and setup packets whole, across as many pages as they span.
#pragma once

#include "ogg/OggLayout.h"

namespace zm::ogg {

enum class HeadersFound {
    Yes,
    NotOurs,    // not an Ogg stream we tag, or its header pages are damaged or too long
    Unreadable  // reading the file failed
};

// head: the first bytes of the file, which must hold the identification page
// and the start of the comment page. Fills out on Yes.
HeadersFound ReadHeaderPages(platform::File& file, platform::ByteView head, HeaderPages& out);

}  // namespace zm::ogg
