#include "wm/WMReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "wm/WMTime.h"

namespace zm::wm {
namespace {

enum class Lookup {
    Text,
    TextIfTrusted,  // read only when the file is trusted
    Number,
    Number64,
    TrackNumber  // text, else a number made into text
};

struct ReadRow {
    const char16_t* name;
    Lookup lookup;
    CWMString WMProperties::*text = nullptr;
    uint32_t WMProperties::*number = nullptr;
    uint64_t WMProperties::*number64 = nullptr;
    int field = 0;  // the record field the text fills, 0 for none
};

using P = WMProperties;
constexpr ReadRow kReadList[] = {
    {.name = u"Title", .lookup = Lookup::Text, .text = &P::title, .field = 1},
    {.name = u"Author", .lookup = Lookup::Text, .text = &P::author, .field = 14},
    {.name = u"Description", .lookup = Lookup::Text, .text = &P::description, .field = 10},
    {.name = u"Rating", .lookup = Lookup::Text, .text = &P::rating, .field = 15},
    {.name = u"Copyright", .lookup = Lookup::Text, .text = &P::copyright, .field = 16},
    {.name = u"HasVideo", .lookup = Lookup::Number, .number = &P::hasVideo},
    {.name = u"HasAudio", .lookup = Lookup::Number, .number = &P::hasAudio},
    {.name = u"Duration", .lookup = Lookup::Number64, .number64 = &P::duration},
    {.name = u"Bitrate", .lookup = Lookup::Number, .number = &P::bitrate},
    {.name = u"Seekable", .lookup = Lookup::Number, .number = &P::seekable},
    {.name = u"Stridable", .lookup = Lookup::Number, .number = &P::stridable},
    {.name = u"Broadcast", .lookup = Lookup::Number, .number = &P::broadcast},
    {.name = u"Is_Protected", .lookup = Lookup::Number, .number = &P::isProtected},
    {.name = u"Is_Trusted", .lookup = Lookup::Number, .number = &P::isTrusted},
    {.name = u"Signature_Name", .lookup = Lookup::TextIfTrusted, .text = &P::signatureName},
    {.name = u"HasImage", .lookup = Lookup::Number, .number = &P::hasImage},
    {.name = u"HasScript", .lookup = Lookup::Number, .number = &P::hasScript},
    {.name = u"CurrentBitrate", .lookup = Lookup::Number, .number = &P::currentBitrate},
    {.name = u"OptimalBitrate", .lookup = Lookup::Number, .number = &P::optimalBitrate},
    {.name = u"WM/Track", .lookup = Lookup::Number, .number = &P::track},
    {.name = u"WM/EncodingTime", .lookup = Lookup::Number64, .number64 = &P::encodingTime},
    {.name = u"WM/OriginalReleaseYear", .lookup = Lookup::Text, .text = &P::originalReleaseYear, .field = 3},
    {.name = u"WM/BeatsPerMinute", .lookup = Lookup::Text, .text = &P::beatsPerMinute, .field = 4},
    {.name = u"WM/Year", .lookup = Lookup::Text, .text = &P::year, .field = 5},
    {.name = u"WM/TrackNumber", .lookup = Lookup::TrackNumber, .text = &P::trackNumber, .field = 6},
    {.name = u"WM/Genre", .lookup = Lookup::Text, .text = &P::genre, .field = 7},
    {.name = u"WM/Publisher", .lookup = Lookup::Text, .text = &P::publisher, .field = 8},
    {.name = u"WM/Composer", .lookup = Lookup::Text, .text = &P::composer, .field = 9},
    {.name = u"WM/AlbumArtist", .lookup = Lookup::Text, .text = &P::albumArtist, .field = 11},
    {.name = u"WM/AlbumCoverURL", .lookup = Lookup::Text, .text = &P::albumCoverURL, .field = 12},
    {.name = u"WM/AlbumTitle", .lookup = Lookup::Text, .text = &P::albumTitle, .field = 13},
    {.name = u"WM/Director", .lookup = Lookup::Text, .text = &P::director},
    {.name = u"WM/Producer", .lookup = Lookup::Text, .text = &P::producer},
    {.name = u"WM/OriginalReleaseTime", .lookup = Lookup::Text, .text = &P::originalReleaseTime},
    {.name = u"WM/ParentalRating", .lookup = Lookup::Text, .text = &P::parentalRating},
};
constexpr int kEncodingTimeField = 2;

// An attribute's type and bytes. A number, and any other short value, lands
// in the object itself.
struct FetchedAttribute {
    asf::WMT_ATTR_DATATYPE type = asf::WMT_TYPE_BINARY;
    WideText buffer;
    uint64_t small[2] = {};
    const uint8_t* bytes = nullptr;  // null when the attribute is absent
    uint16_t length = 0;
};

// The units kept of a text too long to be read whole: more than the 299
// bytes a field holds take, in any code page.
constexpr size_t kKeptUnits = 2 * kValueSize;

// The index of the attribute that the name lookup reads: the
// language-neutral one, else the first of the name.
HRESULT IndexOfNamed(asf::IWMHeaderInfo3* info, uint16_t stream, const char16_t* name, uint16_t* index) {
    uint16_t neutral = 0;
    for (uint16_t* language : {&neutral, static_cast<uint16_t*>(nullptr)}) {
        uint16_t count = 0;
        HRESULT hr = info->GetAttributeIndices(stream, name, language, nullptr, &count);
        if (hr < 0) return hr;
        if (count == 0) continue;
        std::unique_ptr<uint16_t[]> indices(new (std::nothrow) uint16_t[count]);
        if (!indices) return ZMTAGIO_E_OUTOFMEMORY;
        hr = info->GetAttributeIndices(stream, name, language, indices.get(), &count);
        if (hr < 0) return hr;
        *index = indices[0];
        return hr;
    }
    return asf::kASF_E_NOTFOUND;
}

// A value too long for the name lookup's 16-bit length is read by its index,
// with a 32-bit length, and a text keeps its start. No number is that long:
// a typed lookup leaves its destination as it was.
HRESULT FetchLongAttribute(asf::IWMHeaderInfo* info, const char16_t* name, uint16_t stream, CWMString* text,
                           FetchedAttribute& out) {
    asf::ComPtr<asf::IWMHeaderInfo3> indexed;
    HRESULT hr = info->QueryInterface(asf::IID_IWMHeaderInfo3, indexed.PutVoid());
    uint16_t index = 0, language = 0;
    if (hr >= 0) hr = IndexOfNamed(indexed.get(), stream, name, &index);
    uint32_t length = 0;
    if (hr >= 0)
        hr = indexed->GetAttributeByIndexEx(stream, index, nullptr, nullptr, &out.type, &language, nullptr, &length);
    if (hr < 0 || !text) return hr;
    if (out.type != asf::WMT_TYPE_STRING) return ZMTAGIO_E_INVALIDARG;
    WideText whole(new (std::nothrow) char16_t[length / 2 + 1]);
    if (!whole) return ZMTAGIO_E_OUTOFMEMORY;
    hr = indexed->GetAttributeByIndexEx(stream, index, nullptr, nullptr, &out.type, &language,
                                        reinterpret_cast<uint8_t*>(whole.get()), &length);
    if (hr < 0) return hr;
    size_t units = std::min<size_t>(length / 2, kKeptUnits);
    char16_t* room = text->ReceiveStart(units);
    if (!room) return ZMTAGIO_E_OUTOFMEMORY;
    std::copy_n(whole.get(), units, room);
    return hr;
}

// A text (text given) must be stored as one; it lands in the string's room,
// zeroed and one unit longer than the value, so it is terminated whatever was
// stored.
HRESULT FetchAttribute(asf::IWMHeaderInfo* info, const char16_t* name, uint16_t stream, CWMString* text,
                       FetchedAttribute& out) {
    uint16_t length = 0;
    HRESULT hr = info->GetAttributeByName(&stream, name, &out.type, nullptr, &length);
    if (hr == asf::kASF_E_NOTFOUND && length == 0) return ZMTAGIO_S_OK;
    // Asked for no bytes, a lookup can find the buffer too small only when the
    // value's length does not fit its 16 bits.
    if (hr == asf::kE_BUFFERTOOSMALL) return FetchLongAttribute(info, name, stream, text, out);
    if (hr < 0) return hr;
    if (text && out.type != asf::WMT_TYPE_STRING) return ZMTAGIO_E_INVALIDARG;
    uint8_t* room = reinterpret_cast<uint8_t*>(out.small);
    if (text) {
        room = reinterpret_cast<uint8_t*>(text->Receive(length / 2));
    } else if (length > sizeof out.small) {
        out.buffer.reset(new (std::nothrow) char16_t[length / 2 + 1]());
        room = reinterpret_cast<uint8_t*>(out.buffer.get());
    }
    if (!room) return ZMTAGIO_E_OUTOFMEMORY;
    hr = info->GetAttributeByName(&stream, name, &out.type, room, &length);
    if (hr < 0) return hr;
    out.bytes = room;
    out.length = length;
    return hr;
}

size_t NumberWidth(asf::WMT_ATTR_DATATYPE type) {
    switch (type) {
        case asf::WMT_TYPE_DWORD:
        case asf::WMT_TYPE_BOOL: return 4;
        case asf::WMT_TYPE_QWORD: return 8;
        case asf::WMT_TYPE_WORD: return 2;
        default: return 0;
    }
}

template <typename T>
std::span<uint8_t> BytesOf(T& number) {
    return {reinterpret_cast<uint8_t*>(&number), sizeof number};
}

// A track number stored as a number reaches the record as its digits and a
// line feed.
HRESULT ReadTrackNumber(asf::IWMHeaderInfo* info, const char16_t* name, CWMString& target) {
    if (GetWMStringAttribute(info, name, target, 0) >= 0) return ZMTAGIO_S_OK;
    int32_t number = 0;
    HRESULT hr = GetWMAttribute(info, name, BytesOf(number), 0);
    if (hr < 0) return hr;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d\n", int(number));
    return target.SetFromAnsi(digits);
}

HRESULT ReadRowInto(asf::IWMHeaderInfo* info, const ReadRow& row, WMProperties& p) {
    switch (row.lookup) {
        case Lookup::Text: return GetWMStringAttribute(info, row.name, p.*row.text, 0);
        case Lookup::TextIfTrusted:
            return p.isTrusted ? GetWMStringAttribute(info, row.name, p.*row.text, 0) : ZMTAGIO_S_OK;
        case Lookup::Number: return GetWMAttribute(info, row.name, BytesOf(p.*row.number), 0);
        case Lookup::Number64: return GetWMAttribute(info, row.name, BytesOf(p.*row.number64), 0);
        case Lookup::TrackNumber: return ReadTrackNumber(info, row.name, p.*row.text);
    }
    return ZMTAGIO_E_FAIL;
}

char* PutDigits(char* at, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i, value /= 10) at[i] = char('0' + value % 10);
    return at + width;
}

// "hh:mm:ss:mmm", written digit by digit: every read shows it, and a format
// call costs more than the rest of the field.
void WriteClockText(uint64_t fileTime, char* buffer) {
    SystemTime time;
    // A time the conversion refuses leaves the field's text empty.
    if (!FileTimeToSystemTime(fileTime, time)) return;
    const unsigned parts[] = {time.hour, time.minute, time.second, time.milliseconds};
    for (size_t i = 0; i < std::size(parts); ++i) {
        buffer = PutDigits(buffer, parts[i], i + 1 < std::size(parts) ? 2 : 3);
        *buffer++ = i + 1 < std::size(parts) ? ':' : '\0';
    }
}

}  // namespace

HRESULT GetWMStringAttribute(asf::IWMHeaderInfo* info, const char16_t* name, CWMString& target, uint16_t stream) {
    FetchedAttribute fetched;
    return FetchAttribute(info, name, stream, &target, fetched);
}

HRESULT GetWMAttribute(asf::IWMHeaderInfo* info, const char16_t* name, std::span<uint8_t> destination,
                       uint16_t stream) {
    FetchedAttribute fetched;
    HRESULT hr = FetchAttribute(info, name, stream, nullptr, fetched);
    if (hr < 0 || !fetched.bytes) return hr;
    size_t count = std::min({NumberWidth(fetched.type), destination.size(), size_t(fetched.length)});
    std::memcpy(destination.data(), fetched.bytes, count);
    return hr;
}

CWMPropertyReader::~CWMPropertyReader() {
    info_.Reset();
    if (open_) reader_->Close();
}

HRESULT CWMPropertyReader::Open(const char* path, platform::File& file, KeptReader& kept) {
    HRESULT hr = ZMTAGIO_S_OK;
    // Only a sync reader is ever kept.
    if (IUnknown* reader = kept.Take())
        *reader_.Put() = static_cast<asf::IWMSyncReader*>(reader);
    else
        hr = asf::WMCreateSyncReader(nullptr, 0, reader_.Put());
    if (hr < 0) return hr;
    if (!path || CheckAnsi(path) < 0) return ZMTAGIO_E_FAIL;
    asf::ComPtr<asf::IHeldFileReader> held;
    if (reader_->QueryInterface(asf::IID_IHeldFileReader, held.PutVoid()) >= 0) {
        hr = held->OpenHeld(file);
    } else {
        WideText widePath;
        if (AnsiToWide(path, &widePath) < 0) return ZMTAGIO_E_FAIL;
        hr = reader_->Open(widePath.get());
    }
    if (hr < 0) return hr;
    open_ = true;
    return reader_->QueryInterface(asf::IID_IWMHeaderInfo, info_.PutVoid());
}

void CWMPropertyReader::KeepReader(KeptReader& kept) {
    info_.Reset();
    if (open_ && reader_->Close() < 0) return;
    open_ = false;
    IUnknown* reader = reader_.get();
    reader->AddRef();
    reader_.Reset();
    kept.Keep(reader);
}

HRESULT CWMPropertyReader::ReadProperties() {
    HRESULT hr = ZMTAGIO_S_OK;
    for (const ReadRow& row : kReadList)
        if ((hr = ReadRowInto(info_.get(), row, properties_)) < 0) break;
    info_.Reset();
    if (hr < 0) return hr;
    if (properties_.hasVideo) properties_.videoDuration = properties_.duration;
    if (properties_.hasAudio) properties_.audioDuration = properties_.duration;
    return ZMTAGIO_S_OK;
}

HRESULT CWMPropertyReader::FillRecord(MDRecord& record, WMState& state) {
    WMState filled;
    if (!state.spare.empty() && state.spare.size() == kFieldCount * kValueSize) {
        filled.values = std::move(state.spare);
        std::memset(filled.values.data(), 0, filled.values.size());
    } else if (!filled.values.Allocate(kFieldCount * kValueSize)) {
        return ZMTAGIO_E_OUTOFMEMORY;
    }
    WriteClockText(properties_.encodingTime, reinterpret_cast<char*>(filled.Value(kEncodingTimeField)));
    for (int id = 1; id <= kFieldCount; ++id) {
        record.fields[id].data = filled.Value(id);
        record.fields[id].size = 0;
    }
    for (const ReadRow& row : kReadList) {
        if (row.field == 0) continue;
        MDField& field = record.fields[row.field];
        CWMString& text = properties_.*row.text;
        field.size = text.CopyToAnsi(reinterpret_cast<char*>(field.data), kValueSize);
        if (text.Cut()) filled.cutFields |= uint32_t(1) << row.field;
    }
    state.values = std::move(filled.values);
    state.cutFields = filled.cutFields;
    return ZMTAGIO_S_OK;
}

HRESULT ReadWMFromFile(MDRecord& record, WMState& state, const char* path, platform::File& file, MDRecord** out) {
    CWMPropertyReader reader;
    HRESULT hr = reader.Open(path, file, state.reader);
    if (hr >= 0) hr = reader.ReadProperties();
    if (hr >= 0) hr = reader.FillRecord(record, state);
    if (hr >= 0) reader.KeepReader(state.reader);
    if (hr < 0) return hr;
    if (out) *out = &record;
    return ZMTAGIO_S_OK;
}

}  // namespace zm::wm
