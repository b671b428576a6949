// Finding the header pages of an Ogg Vorbis or Ogg Opus file and checking its
// comment and setup packets, across as many pages as they span.
#pragma once

#include "ogg/OggCursor.h"

namespace zm::ogg {

// head: the first bytes of the file, which must hold the identification page
// and the start of the comment page. Fills out on Yes.
HeadersFound ReadHeaderPages(platform::File& file, platform::ByteView head, HeaderPages& out);

}  // namespace zm::ogg
