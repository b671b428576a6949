// What a rewrite of an MP3 file would lose from its ID3v2 tag.
//
// The component rebuilds the ID3v2 tag from what its reader took in: a frame
// that fills a slot of the record, converted to text for eleven frames, or a
// frame it keeps verbatim. Three kinds of frames fall between:
// - a frame of the eleven whose text the component cannot convert (UTF-8
//   text, an unknown encoding, UTF-16 without a little-endian mark) is left
//   out of the slot and of the new tag;
// - a frame that is kept, not stored, but is empty or of 20480 bytes or more
//   ends the frame walk, and every frame behind it is left out;
// - bytes after the last readable frame that are not padding are left out.
// A command that would lose such a frame it was not asked to replace refuses
// the file instead.
#pragma once

#include <string>
#include <vector>

namespace zmtagio {

// One line per loss, such as "TIT2 (text in an encoding that cannot be
// carried)"; empty when the rewrite keeps every frame. Frames whose id is in
// `replaced` are replaced by the command and not counted.
std::vector<std::string> FramesLostByRewrite(const std::string& path, const std::vector<std::string>& replaced);

}  // namespace zmtagio
