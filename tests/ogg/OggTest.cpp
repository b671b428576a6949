// The probe, the reader, the header-page builder and the renumbering copy on hand-made files: what they take, what
// they refuse, and their pages byte for byte against pages made by the test's own layout, with a checksum computed bit
// by bit, independently of the table-driven one. Files from real encoders are the command line's tests; damaged input
// beyond these cases is the fuzzers' part.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "ogg/Ogg.h"
#include "support/TestSupport.h"

namespace zm::test {
namespace {

using namespace std::string_literals;

constexpr char kVendor[] = "Xiph.Org libVorbis I 20200704 (Reducing Environment)";
constexpr uint32_t kSerial = 0x5EB1A1u;

Bytes Cut(Bytes bytes, size_t size) { return bytes.resize(size), bytes; }

// count replaces the true number of entries when given; tail follows the list.
Bytes CommentPacket(const std::string& magic, const std::vector<std::string>& entries, const Bytes& tail,
                    std::optional<uint32_t> count = {}) {
    Bytes packet = ToBytes(magic) + Le(sizeof kVendor - 1, 4) + ToBytes(kVendor) +
                   Le(count.value_or(uint32_t(entries.size())), 4);
    for (const auto& e : entries) packet = packet + Le(e.size(), 4) + ToBytes(e);
    return packet + tail;
}
Bytes VorbisComments(const std::vector<std::string>& entries, std::optional<uint32_t> count = {}) {
    return CommentPacket("\x03vorbis", entries, {0x01}, count);
}

Bytes SetupPacket(size_t size) {
    Bytes packet = ToBytes("\x05vorbis");
    for (size_t i = packet.size(); i < size; ++i) packet.push_back(uint8_t(i * 7 + 3));
    return packet;
}

struct PageOptions {
    uint32_t serial = kSerial;
    uint32_t sequence = 1;
    uint8_t flags = 0;
    size_t segments = 255;  // lacing values per page at most
};

// Lays packets out as an encoder lays out header packets: pages of at most options.segments lacing values, granule
// position 0 on pages where a packet ends and none on the others, the continuation flag where a packet goes on.
Bytes Pages(const std::vector<Bytes>& packets, PageOptions options = {}) {
    std::vector<std::pair<uint8_t, bool>> lacing;  // value, ends its packet
    Bytes body;
    for (const Bytes& p : packets) {
        for (size_t i = 0; i < p.size() / 255; ++i) lacing.push_back({255, false});
        lacing.push_back({uint8_t(p.size() % 255), true});
        body = body + p;
    }
    Bytes out;
    size_t at = 0, bodyAt = 0;
    bool continued = false;
    while (at < lacing.size()) {
        size_t n = std::min(options.segments, lacing.size() - at), bytes = 0;
        bool ends = false;
        Bytes table;
        for (size_t i = at; i < at + n; ++i) table.push_back(lacing[i].first), bytes += lacing[i].first, ends |= lacing[i].second;
        uint8_t flags = uint8_t(options.flags | (continued ? 1 : 0));
        Bytes page = Bytes{'O', 'g', 'g', 'S', 0, flags} + (ends ? Bytes(8, 0) : Bytes(8, 0xFF)) +
                     Le(options.serial, 4) + Le(options.sequence++, 4) + Le(0, 4) + Bytes{uint8_t(n)} + table +
                     Bytes(body.begin() + long(bodyAt), body.begin() + long(bodyAt + bytes));
        platform::StoreLE32(page.data() + 22, BitwiseOggChecksum(page));
        out = out + page;
        continued = !lacing[at + n - 1].second;
        at += n, bodyAt += bytes;
    }
    return out;
}

Bytes VorbisIdentification() { return Pages({ToBytes("\x01vorbis") + Bytes(23, 0x11)}, {.sequence = 0, .flags = 2}); }
Bytes OpusIdentification() { return Pages({ToBytes("OpusHead\x01\x02") + Bytes(9, 0)}, {.sequence = 0, .flags = 2}); }

// The last page ends the stream when last is set.
Bytes AudioPages(uint32_t firstSequence, uint32_t count, uint32_t serial = kSerial, bool last = true) {
    Bytes out;
    for (uint32_t i = 0; i < count; ++i)
        out = out + Pages({Bytes(300 + i, uint8_t(0x40 + i))}, {.serial = serial, .sequence = firstSequence + i,
                                                               .flags = uint8_t(last && i + 1 == count ? 4 : 0)});
    return out;
}

Bytes VorbisFile(const Bytes& comments, PageOptions options = {}, size_t setup = 400) {
    return VorbisIdentification() + Pages({comments, SetupPacket(setup)}, options) + AudioPages(options.sequence + 1, 2);
}

struct OggRun {
    TempDir dir;
    MDRecord record{};
    ogg::OggState state;
    platform::Buffer tags;
    platform::FileRange range;
    platform::GrowBuffer staged;
    uint32_t probed = 0;
    HRESULT hr = ZMTAGIO_E_FAIL;

    // The probe, then the reader when the probe accepted the file.
    explicit OggRun(const Bytes& file) {
        WriteFile(dir.File("in.ogg"), file);
        auto in = platform::File::Open(dir.File("in.ogg").c_str(), platform::File::Mode::Read);
        probed = ogg::GetOGGTagSize(in, record, state);
        if (record.isOgg && tags.Allocate(probed)) hr = ogg::ReadOGGFromFile(in, record, state, tags.span(), range);
    }
    // The recognised fields, id=value; in id order.
    std::string Fields() const {
        std::string out;
        for (int id = 1; id <= 16; ++id)
            if (const MDField& f = record.fields[id]; f.size > 0 && f.data)
                out += std::to_string(id) + "=" + std::string(reinterpret_cast<char*>(f.data), size_t(f.size)) + ";";
        return out;
    }
    HRESULT Edit(int id, const std::string& text) {
        MDField value{int32_t(text.size()), reinterpret_cast<uint8_t*>(const_cast<char*>(text.data())), {}, {}, 0, {}};
        return ogg::EditOGGField(record, state, staged, id, value);
    }
    // The plan, and the pages written as it planned them, from the file as the reader left it.
    struct Built {
        ogg::NewHeaderPages plan;
        Bytes pages;
    };
    std::optional<Built> Build(bool keepEntries = true) {
        auto in = platform::File::Open(dir.File("in.ogg").c_str(), platform::File::Mode::Read);
        Built built;
        if (!ogg::PlanOGGHeaderPages(in, record, state, staged.bytes(), keepEntries, built.plan)) return std::nullopt;
        const ogg::PageOut out = [&](std::span<const uint8_t> page) {
            built.pages.insert(built.pages.end(), page.begin(), page.end());
            return true;
        };
        if (!ogg::WriteOGGHeaderPages(in, state, staged.bytes(), built.plan, out)) return std::nullopt;
        EXPECT_EQ(built.pages.size(), built.plan.size);
        return built;
    }
};

TEST(OggRead, ProbeSizesAndReaderFillsInPacketOrder) {
    struct Case {
        std::vector<std::string> entries;
        std::string tagBuffer;  // its size is what the probe returns
        std::string fields;
    } cases[] = {
        {{"title=Song", "Artist=Band"}, "SongBand", "1=Song;5=Band;"},
        {{"TITLE=A", "TITLE=BB"}, "A\0\0"s, "1=A;"},  // the duplicate keeps its room
        {{"TITLE=", "TITLE=X"}, "X", "1=X;"},         // an empty value does not fill the field
        {{"ALBUMARTIST=Z", "DATETIME=2004", "TITLE", "date=1999"}, "1999", "12=1999;"},
        {{"ENCODER=x"}, "", ""},
        {{"CoMmEnT=a=b", "ARTIST=\xC3\xB6\0x"s}, "a=b\xC3\xB6\0x"s, "5=\xC3\xB6\0x;16=a=b;"s},
    };
    // The comment and setup packets on one page, and spread over pages of 3 lacing values.
    for (size_t segments : {255u, 3u}) {
        for (const Case& c : cases) {
            Bytes headers = Pages({VorbisComments(c.entries), SetupPacket(400)}, {.segments = segments});
            OggRun r(VorbisIdentification() + headers + AudioPages(9, 1));
            ASSERT_EQ(r.hr, ZMTAGIO_S_OK) << c.fields;
            EXPECT_EQ(Hex(r.tags.data(), r.probed), Hex(ToBytes(c.tagBuffer))) << c.fields;
            EXPECT_EQ(r.Fields(), c.fields);
            EXPECT_EQ(r.range.start, VorbisIdentification().size()) << c.fields;
            EXPECT_EQ(r.range.end, VorbisIdentification().size() + headers.size()) << c.fields;
            EXPECT_TRUE(r.state.head.empty()) << c.fields;
        }
    }
}

// Taggers spread long packets over small pages: over a thousand pages of one segment each are read whole, and
// rewritten into pages of 255 segments, which moves the pages behind. An entry of megabytes, over many pages and many
// times the reader's buffer, is carried byte for byte around an edit.
TEST(OggRead, PacketOverManySmallPagesIsReadWhole) {
    const std::vector<std::string> entries = {"LYRICS=" + std::string(300000, 'l'), "TITLE=T"};
    OggRun r(VorbisFile(VorbisComments(entries), {.segments = 1}));
    ASSERT_EQ(r.hr, ZMTAGIO_S_OK);
    EXPECT_EQ(r.Fields(), "1=T;");
    auto pages = r.Build();
    ASSERT_TRUE(pages);
    Bytes expected = Pages({VorbisComments(entries), SetupPacket(400)});
    EXPECT_EQ(Hex(pages->pages), Hex(expected));
    int64_t values = int64_t(VorbisComments(entries).size() / 255 + 1 + 2);  // one a page before, 255 a page after
    EXPECT_EQ(pages->plan.pageShift, (values + 254) / 255 - values);

    std::string picture = "METADATA_BLOCK_PICTURE=";
    for (size_t i = 0; i < (3u << 20); ++i) picture.push_back(char('0' + i * 31 % 67));
    OggRun big(VorbisFile(VorbisComments({"TITLE=A", picture, "ARTIST=B"}), {.segments = 100}));
    ASSERT_EQ(big.hr, ZMTAGIO_S_OK);
    EXPECT_EQ(big.Fields(), "1=A;5=B;");
    ASSERT_EQ(big.Edit(1, "New"), ZMTAGIO_S_OK);
    auto rebuilt = big.Build();
    ASSERT_TRUE(rebuilt);
    EXPECT_TRUE(rebuilt->pages == Pages({VorbisComments({"TITLE=New", picture, "ARTIST=B"}), SetupPacket(400)}));
}

Bytes Patched(Bytes bytes, size_t at, uint32_t value) {
    platform::StoreLE32(bytes.data() + at, value);
    return bytes;
}

TEST(OggRead, HostileFilesAreNotOgg) {
    const size_t firstEntry = 11 + sizeof kVendor - 1 + 4;
    const Bytes two = VorbisComments({"TITLE=A", "ARTIST=B"});
    // One lacing value a page: the setup packet's second page continues it.
    const Bytes good = VorbisFile(two, {.segments = 1});
    const size_t idSize = VorbisIdentification().size(), setupEnd = idSize + 28 + two.size() + 28 + 255;
    Bytes notContinued = good;
    notContinued[setupEnd + 5] = 0;
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"identification page only", VorbisIdentification()},
        {"identification page does not start the stream", Patched(good, 4, 0x00000000u)},
        {"two packets on the identification page", Pages({ToBytes("\x01vorbis") + Bytes(23, 0), {1}}, {.flags = 2}) +
                                                        Pages({two, SetupPacket(100)})},
        {"another codec", Pages({ToBytes("\x80theora") + Bytes(40, 0)}, {.flags = 2}) + Pages({two})},
        {"Opus of another major version", Pages({ToBytes("OpusHead\x10\x02") + Bytes(9, 0)}, {.flags = 2}) +
                                              Pages({CommentPacket("OpusTags", {}, {})})},
        {"comment page of another stream", VorbisIdentification() + Pages({two, SetupPacket(100)}, {.serial = 7})},
        {"continuation flag missing", notContinued},
        {"packet claimed longer than the file", Cut(good, setupEnd + 100)},
        {"file ends in the page header", Cut(good, idSize + 20)},
        {"comment packet starts after the searched bytes",
         Pages({ToBytes("\x01vorbis") + Bytes(10300, 0x11)}, {.flags = 2}) + Pages({two, SetupPacket(100)})},
        {"vendor past packet", VorbisFile(Patched(two, 7, 5000))},
        {"count negative", VorbisFile(VorbisComments({"TITLE=A"}, 0xFFFFFFFFu))},
        {"count absurd", VorbisFile(VorbisComments({"TITLE=A"}, 0x7FFFFFFFu))},
        {"entry past packet", VorbisFile(Patched(two, firstEntry, 21))},
        {"entry length huge", VorbisFile(Patched(two, firstEntry, 0xFFFFFFF0u))},
        {"no framing bit", VorbisFile(CommentPacket("\x03vorbis", {"TITLE=A"}, {0x00}))},
        {"no setup packet", VorbisIdentification() + Pages({two, ToBytes("\x05vorbiX")})},
    };
    for (const auto& [name, file] : cases) {
        OggRun r(file);
        EXPECT_EQ(r.probed, 0u) << name;
        EXPECT_EQ(r.record.isOgg, 0u) << name;
        EXPECT_TRUE(r.state.head.empty() && !r.state.headers.found) << name;
    }
    EXPECT_EQ(OggRun(good).hr, ZMTAGIO_S_OK);
}

// Every entry is carried byte for byte in its place; an edited name's new entry takes the place of its first entry and
// the name's other entries go; a name the file lacks comes last; a cleared name loses every entry; removing the
// comments leaves none. The pages are those an encoder lays out, the setup packet behind the comments.
TEST(OggWrite, CarriesEveryEntryAndPlacesTheEdits) {
    const std::vector<std::string> entries = {"title=Song", "TRACKTOTAL=12", "ARTIST=A", "REPLAYGAIN_TRACK_GAIN=-1 dB",
                                              "Artist=B", "METADATA_BLOCK_PICTURE=" + std::string(300, 'p')};
    struct Case {
        const char* what;
        std::vector<std::pair<int, std::string>> edits;
        std::vector<std::string> expected;
        bool keepEntries = true;
    } cases[] = {
        {"nothing edited", {}, entries},
        {"album added", {{3, "X"}}, {entries[0], entries[1], entries[2], entries[3], entries[4], entries[5], "ALBUM=X"}},
        {"title replaced, twice", {{1, "New"}, {1, "N\xC3\xA9w"}},
         {"TITLE=N\xC3\xA9w", entries[1], entries[2], entries[3], entries[4], entries[5]}},
        {"artist replaced", {{5, "C"}}, {entries[0], entries[1], "ARTIST=C", entries[3], entries[5]}},
        {"artist cleared, album set then cleared", {{5, ""}, {3, "X"}, {3, ""}},
         {entries[0], entries[1], entries[3], entries[5]}},
        {"comments removed", {{1, "New"}}, {}, false},
    };
    for (const Case& c : cases) {
        OggRun r(VorbisFile(VorbisComments(entries), {.sequence = 1}, 700));
        for (const auto& [id, value] : c.edits) ASSERT_EQ(r.Edit(id, value), ZMTAGIO_S_OK) << c.what;
        auto pages = r.Build(c.keepEntries);
        ASSERT_TRUE(pages) << c.what;
        EXPECT_EQ(Hex(pages->pages), Hex(Pages({VorbisComments(c.expected), SetupPacket(700)}))) << c.what;
        EXPECT_EQ(pages->plan.replaced.start, r.range.start) << c.what;
        EXPECT_EQ(pages->plan.replaced.end, r.range.end) << c.what;
        EXPECT_EQ(pages->plan.pageShift, 0) << c.what;
    }
}

// Opus keeps the bytes after its list (binary data an editor keeps); its comment packet ends its page alone. A packet
// of 254 bytes takes one lacing value, of 255 two (255, 0), and one needing more than 255 spreads over pages, which
// moves the pages behind by the pages added.
TEST(OggWrite, LaysOutPacketsAsAnEncoderDoes) {
    const Bytes tail = {0x01, 0xAB, 0xCD};
    OggRun opus(OpusIdentification() + Pages({CommentPacket("OpusTags", {"ENCODER=x"}, tail)}) + AudioPages(2, 1));
    ASSERT_EQ(opus.Edit(1, "T"), ZMTAGIO_S_OK);
    auto opusPages = opus.Build();
    ASSERT_TRUE(opusPages);
    EXPECT_EQ(Hex(opusPages->pages), Hex(Pages({CommentPacket("OpusTags", {"ENCODER=x", "TITLE=T"}, tail)})));
    // A packet of 255 * 255 bytes fills a page, and its closing lacing value 0 stands alone on a page of its own.
    OggRun full(OpusIdentification() + Pages({CommentPacket("OpusTags", {}, {})}) + AudioPages(2, 1));
    std::string value(255 * 255 - CommentPacket("OpusTags", {"TITLE="}, {}).size(), 't');
    ASSERT_EQ(full.Edit(1, value), ZMTAGIO_S_OK);
    auto fullPages = full.Build();
    ASSERT_TRUE(fullPages);
    EXPECT_EQ(Hex(fullPages->pages), Hex(Pages({CommentPacket("OpusTags", {"TITLE=" + value}, {})})));
    EXPECT_EQ(fullPages->plan.pageShift, 1);

    const size_t empty = VorbisComments({}).size();
    // The setup packet of 400 bytes adds the lacing values ff 91.
    for (auto [valueSize, lacing, shift] : {std::tuple(254 - empty - 10, "03feff91", 0),
                                           {255 - empty - 10, "04ff00ff91", 0}, {255 * 256 - empty - 10, "", 1}}) {
        OggRun r(VorbisFile(VorbisComments({})));
        std::string value(valueSize, 'v');
        ASSERT_EQ(r.Edit(3, value), ZMTAGIO_S_OK);
        auto pages = r.Build();
        ASSERT_TRUE(pages);
        Bytes expected = Pages({VorbisComments({"ALBUM=" + value}), SetupPacket(400)});
        EXPECT_EQ(Hex(pages->pages), Hex(expected));
        EXPECT_EQ(Hex(pages->pages.data() + 26, std::strlen(lacing) / 2), lacing);
        EXPECT_EQ(pages->plan.pageShift, shift);
    }
}

// What the writer refuses builds nothing: pages that hold more after the header packets, and staged entries that do
// not match the fields.
TEST(OggWrite, RefusesWhatWouldNotMakeConsistentPages) {
    OggRun audioOnHeaderPage(VorbisIdentification() + Pages({VorbisComments({"TITLE=A"}), SetupPacket(100), {1, 2}}));
    ASSERT_EQ(audioOnHeaderPage.hr, ZMTAGIO_S_OK);
    EXPECT_FALSE(audioOnHeaderPage.Build());
    OggRun lostEdit(VorbisFile(VorbisComments({"TITLE=A"})));
    ASSERT_EQ(lostEdit.Edit(1, "B"), ZMTAGIO_S_OK);
    lostEdit.staged.Release();
    EXPECT_FALSE(lostEdit.Build());
    EXPECT_FALSE(OggRun(Bytes{}).Build());
}

// Pages of the stream are renumbered with checksums a bitwise computation agrees with; a damaged checksum stays wrong
// by as much as it was; pages of another stream and everything after the stream's last page stay as they were.
TEST(OggCopy, RenumbersTheStreamAndLeavesTheRest) {
    auto damaged = [](uint32_t sequence) {
        Bytes page = AudioPages(sequence, 1, kSerial, false);
        page[22] ^= 0x5A;
        return page;
    };
    Bytes other = AudioPages(40, 1, 77, false), chained = AudioPages(0, 2), junk = ToBytes("TAG trailing bytes");
    auto file = [&](uint32_t first) {
        return AudioPages(first, 2, kSerial, false) + damaged(first + 2) + other + AudioPages(first + 3, 2) + chained +
               junk;
    };
    const Bytes source = file(3), head = ToBytes("kept");
    for (int64_t shift : {3, -1, 70000}) {
        TempDir dir;
        WriteFile(dir.File("in"), source);
        auto in = platform::File::Open(dir.File("in").c_str(), platform::File::Mode::Read);
        auto out = platform::File::Open(dir.File("out").c_str(), platform::File::Mode::CreateWrite);
        ogg::HeaderPages headers;
        headers.serial = kSerial;
        ASSERT_TRUE(out.WriteAll(head));
        EXPECT_EQ(ogg::CopyOGGPages(in, out, {0, source.size()}, headers, shift), ogg::CopyOutcome::Copied);
        out.Close();
        EXPECT_EQ(Hex(ReadFile(dir.File("out"))), Hex(head + file(uint32_t(3 + shift)))) << shift;
    }
}

}  // namespace
}  // namespace zm::test
