// The bytes each kind of tag takes for a value given as UTF-8 text, and the
// text a read-back will show for them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zmtagio {

struct Encoded {
    std::vector<uint8_t> value;
    std::string expected;
    std::string error;  // set when the value cannot be written
    bool shortened = false;  // cut, or characters replaced: the bytes hold less than the text
};

inline constexpr size_t kID3V1TextWidth = 30;
inline constexpr size_t kID3V1CommentWidthWithTrack = 28;
inline constexpr uint8_t kID3V1NoGenre = 255;

Encoded EncodeID3V2(int id, std::string_view text, uint32_t codePage);
Encoded EncodeID3V1(int id, std::string_view text, uint32_t codePage);
Encoded EncodeOgg(std::string_view text);
Encoded EncodeWM(std::string_view text, uint32_t codePage);

}  // namespace zmtagio
