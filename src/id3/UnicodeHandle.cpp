#include "id3/UnicodeHandle.h"

#include <cstring>
#include <functional>

#include "id3/TextEncoding.h"
#include "platform/Trace.h"

namespace zm::id3 {
namespace {

constexpr size_t kRecordHeader = 5;  // field id, then the length in machine order
constexpr size_t kLocalText = 1024;

// Visits the records of a converted-text buffer: (field id, payload).
template <typename Visit>
void ForEachRecord(platform::GrowBuffer& buffer, Visit visit) {
    for (size_t pos = 0; pos + kRecordHeader <= buffer.used;) {
        uint32_t length;
        std::memcpy(&length, buffer.data + pos + 1, sizeof length);
        if (length > buffer.used - pos - kRecordHeader) return;
        visit(buffer.data[pos], buffer.data + pos + kRecordHeader, pos);
        pos += kRecordHeader + length;
    }
}

bool PointsInto(const uint8_t* p, const uint8_t* begin, size_t size) {
    std::less_equal<const uint8_t*> le;
    return begin && le(begin, p) && std::less<const uint8_t*>()(p, begin + size);
}

// A buffer lost to a failed append takes its records with it: the fields
// that pointed there are emptied so that nothing reads them.
void ForgetRecords(std::span<MDField> fields, const uint8_t* lost, size_t size) {
    for (MDField& field : fields)
        if (PointsInto(field.data, lost, size)) {
            field.data = nullptr;
            field.size = 0;
        }
}

}  // namespace

uint32_t UnicodeHandle(std::span<MDField> fields, int id, int32_t size, ID3State& state, Direction mode) {
    MDField& field = fields[size_t(id)];
    uint8_t encoding = field.data && size > 0 ? field.data[0] : 0;
    if (platform::TraceOn()) platform::TraceLine("UnicodeHandle(%d) : %c", int(mode), encoding);
    if (!field.data || int8_t(encoding) > 3 || size < 2) return 0;

    std::span<const uint8_t> source(field.data, size_t(size));
    // Text of a usual length is read through the stack: reading a file then
    // allocates nothing per field beyond the growth of the buffer.
    uint8_t local[kLocalText];
    ConvertedText converted;
    if (mode == Direction::Reading && uint64_t(kDecodeGrowth) * source.size() <= sizeof local)
        converted.length = DecodeID3TextInto(source, encoding, local);
    else
        converted = mode == Direction::Reading ? DecodeID3Text(source, encoding) : EncodeID3Text(source, encoding);
    std::span<const uint8_t> text = converted.bytes.empty() ? std::span<const uint8_t>(local, converted.length)
                                                            : converted.view();
    if (platform::TraceOn()) platform::TraceLine("Unicode Convert Complete");
    if (text.empty()) {
        platform::TraceLine("UnicodeHandle return 0");
        return 0;
    }

    uint8_t header[kRecordHeader];
    uint32_t length = uint32_t(text.size());
    header[0] = uint8_t(id);
    std::memcpy(header + 1, &length, sizeof length);

    platform::GrowBuffer& buffer = mode == Direction::Reading ? state.readText : state.writeText;
    const uint8_t* old = buffer.data;
    size_t oldSize = buffer.used;
    size_t start = buffer.used;
    // A failed append releases the buffer; the fields still point into the
    // block they pointed into before.
    if (!platform::AppendToBuffer(header, kRecordHeader, buffer) ||
        !platform::AppendToBuffer(text.data(), length, buffer)) {
        ForgetRecords(fields, old, oldSize);
        return 0;
    }
    field.data = buffer.data + start + kRecordHeader;
    if (mode == Direction::Reading) field.size = int32_t(length);
    // When the append moved the buffer, every earlier record's field is
    // pointed at it again, but the current field keeps its newest record.
    if (buffer.data != old)
        ForEachRecord(buffer, [&](uint8_t recordId, uint8_t* payload, size_t pos) {
            if (pos < start && recordId != uint8_t(id) && recordId < fields.size()) fields[recordId].data = payload;
        });
    if (platform::TraceOn()) platform::TraceLine("UnicodeHandle return %ld", long(length));
    return length;
}

}  // namespace zm::id3
