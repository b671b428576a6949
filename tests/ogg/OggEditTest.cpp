// Staging of comment edits: the entry bytes, and one entry per field however
// often it is edited.
#include <gtest/gtest.h>

#include "ogg/OggTestPages.h"

namespace zm::test {
namespace {

using namespace oggpages;

MDField Value(const char* text, int32_t size) {
    return FieldOf(size, reinterpret_cast<uint8_t*>(const_cast<char*>(text)));
}

MDField Value(const char* text) { return Value(text, int32_t(std::strlen(text))); }

std::string Staged(const platform::GrowBuffer& staged) { return Hex(staged.data, staged.used); }

TEST(OggEdit, StagesCompleteEntryAndMarksFieldChanged) {
    MDRecord record{};
    platform::GrowBuffer staged;
    MDField value = Value("Song");
    ASSERT_EQ(ogg::EditOGGField(record, staged, 1, value), ZMTAGIO_S_OK);
    EXPECT_EQ(Staged(staged), "0a000000" + Hex(ToBytes("TITLE=Song")));
    EXPECT_EQ(staged.used, 14u);
    EXPECT_EQ(record.fields[1].size, 4);
    EXPECT_EQ(static_cast<const void*>(record.fields[1].data), nullptr);  // packed: compare a copy
    EXPECT_EQ(record.isOgg, 1u);
}

// A later edit of the same field replaces its entry (which moves behind the
// others), and clearing a field drops it; other fields' entries stay.
TEST(OggEdit, SecondEditOfAFieldReplacesItsEntry) {
    MDRecord record{};
    platform::GrowBuffer staged;
    auto edit = [&](int id, const char* text) {
        MDField value = Value(text);
        ASSERT_EQ(ogg::EditOGGField(record, staged, id, value), ZMTAGIO_S_OK);
    };
    auto entry = [](const std::string& text) { return Hex(Entry(text)); };
    edit(1, "A");
    edit(5, "B");
    edit(1, "CC");
    EXPECT_EQ(Staged(staged), entry("ARTIST=B") + entry("TITLE=CC"));
    EXPECT_EQ(record.fields[1].size, 2);
    edit(5, "");
    EXPECT_EQ(Staged(staged), entry("TITLE=CC"));
    EXPECT_EQ(record.fields[5].size, 0);
    edit(16, "x");
    edit(1, "");
    edit(1, "");
    EXPECT_EQ(Staged(staged), entry("COMMENT=x"));
}

TEST(OggEdit, ClearingAReadFieldDropsItAndNegativeSizeChangesNothing) {
    MDRecord record{};
    uint8_t value[] = {'v'};
    record.fields[3] = FieldOf(1, value);
    platform::GrowBuffer staged;
    MDField negative = Value("x", -1);
    EXPECT_EQ(ogg::EditOGGField(record, staged, 3, negative), ZMTAGIO_S_OK);
    EXPECT_EQ(record.fields[3].size, 1);
    EXPECT_EQ(static_cast<const void*>(record.fields[3].data), value);
    MDField empty = Value("", 0);
    EXPECT_EQ(ogg::EditOGGField(record, staged, 3, empty), ZMTAGIO_S_OK);
    EXPECT_EQ(record.fields[3].size, 0);
    EXPECT_EQ(staged.used, 0u);
    EXPECT_EQ(record.isOgg, 0u);
}

TEST(OggEdit, RefusesIdsOutsideTheTableAndMissingBytes) {
    MDRecord record{};
    platform::GrowBuffer staged;
    MDField value = Value("x");
    for (int id : {0, 17, -1, 110}) EXPECT_EQ(ogg::EditOGGField(record, staged, id, value), ZMTAGIO_E_INVALIDARG);
    MDField noBytes{};
    noBytes.size = 3;
    EXPECT_EQ(ogg::EditOGGField(record, staged, 1, noBytes), ZMTAGIO_E_INVALIDARG);
    EXPECT_EQ(staged.used, 0u);
    EXPECT_EQ(record.fields[1].size, 0);
}

}  // namespace
}  // namespace zm::test
