#include "ID3Text.h"

#include <algorithm>

namespace zmtagio {
namespace {

using namespace std::string_view_literals;

constexpr int kCommentField = 50;
constexpr int kGenreField = 4;
constexpr int kID3V1Track = 115;
constexpr int kID3V1Genre = 116;
constexpr int kLanguageLength = 3;
constexpr size_t kMaxMimeLength = 64;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF"sv;

enum Encoding : uint8_t { kLatin1 = 0, kUtf16 = 1, kUtf16BE = 2, kUtf8 = 3 };

// A description ends at the first zero; the text behind it may carry the
// byte-order mark of its own UTF-16 string, now in UTF-8.
void SplitDescription(std::string_view rest, FieldView& view) {
    rest = TrimPadding(rest, Padding::Zeros);
    size_t zero = rest.find('\0');
    if (zero == std::string_view::npos) {
        view.text = rest;
        return;
    }
    std::string_view text = rest.substr(zero + 1);
    if (text.starts_with(kUtf8Mark)) text.remove_prefix(kUtf8Mark.size());
    view.description = rest.substr(0, zero);
    view.text = text;
}

// The internal form of a comment: in ISO-8859-1 and UTF-8 the language, the
// description and the text; in UTF-16 the reader has already dropped the
// language, and an empty description with it.
void InterpretComment(std::string_view form, FieldView& view) {
    uint8_t encoding = uint8_t(form[0]);
    std::string_view rest = form.substr(1);
    if ((encoding == kLatin1 || encoding == kUtf8) && rest.size() >= kLanguageLength) {
        view.language = rest.substr(0, kLanguageLength);
        rest.remove_prefix(kLanguageLength);
    }
    SplitDescription(rest, view);
}

// A frame body still in the file's encoding.
std::string_view DecodeBody(Bytes body, uint32_t codePage, TextStore& store) {
    Bytes text = body.subspan(1);
    switch (body[0]) {
        case kLatin1: return CodePageText(text, codePage, store);
        case kUtf16:
            if (text.size() >= 2 && text[0] == 0xFE && text[1] == 0xFF) return Utf16Text(text.subspan(2), false, store);
            if (text.size() >= 2 && text[0] == 0xFF && text[1] == 0xFE) return Utf16Text(text.subspan(2), true, store);
            return Utf16Text(text, true, store);
        case kUtf16BE: return Utf16Text(text, false, store);
        default: return AsText(text);
    }
}

// A genre given by its ID3v1 number, "(17)" or "17", is shown by its name,
// as players show it.
std::string_view GenreText(std::string_view text) {
    std::string_view number = text.size() > 2 && text.front() == '(' && text.back() == ')'
                                  ? text.substr(1, text.size() - 2) : text;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (number.empty() || number.size() > 3 || !std::all_of(number.begin(), number.end(), digit)) return text;
    const char* name = ID3V1GenreName(std::stoi(std::string(number)));
    return name ? std::string_view(name) : text;
}

bool IsTextFrame(std::string_view name) { return name.starts_with('T'); }
bool IsUrlFrame(std::string_view name) { return name.starts_with('W') && name != "WXXX"; }

// Pictures and embedded objects name their MIME type after the encoding byte;
// version 2.2 pictures give a three-letter format instead.
std::string_view BinaryType(std::string_view name, Bytes body, int id3v2Version) {
    if ((name != "APIC" && name != "GEOB") || body.size() < 2) return {};
    std::string_view rest = AsText(body.subspan(1));
    size_t end = id3v2Version == 2 && name == "APIC" ? kLanguageLength : rest.find('\0');
    end = std::min({end, rest.size(), kMaxMimeLength});
    std::string_view type = rest.substr(0, end);
    bool printable = std::all_of(type.begin(), type.end(), [](char c) { return c > 0x20 && c < 0x7F; });
    return printable ? type : std::string_view();
}

}  // namespace

void InterpretID3V2(int id3v2Version, uint32_t codePage, FieldView& view, TextStore& store) {
    if (view.bytes.empty()) return;
    std::string_view form = AsText(view.bytes);
    if (view.id == kCommentField) {
        InterpretComment(form, view);
    } else if (zmTagIOIsConvertedField(MD_KIND_ID3V2, view.id)) {
        view.text = TrimPadding(form.substr(1), Padding::Zeros);
        if (view.id == kGenreField) view.text = GenreText(*view.text);
    } else if (view.name == "TXXX") {
        SplitDescription(DecodeBody(view.bytes, codePage, store), view);
    } else if (IsTextFrame(view.name)) {
        view.text = TrimPadding(DecodeBody(view.bytes, codePage, store), Padding::Zeros);
    } else if (IsUrlFrame(view.name)) {
        view.text = CodePageText(AsBytes(TrimPadding(form, Padding::Zeros)), codePage, store);
    } else {
        view.binaryType = BinaryType(view.name, view.bytes, id3v2Version);
    }
}

void InterpretID3V1(uint32_t codePage, FieldView& view, TextStore& store) {
    if (view.id == kID3V1Track || view.id == kID3V1Genre) {
        std::string& number = store.NewPiece();
        if (!view.bytes.empty()) number = std::to_string(view.bytes[0]);
        view.text = number;
        return;
    }
    view.text = CodePageText(AsBytes(TrimPadding(AsText(view.bytes), Padding::ZerosAndSpaces)), codePage, store);
}

}  // namespace zmtagio
