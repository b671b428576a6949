// MP3 files made by ffmpeg and tagged by an independent writer (mutagen, or
// a hand-made version-2.2 tag), read by MDInit, changed and written back by
// MDUpdate, then read again by mutagen and by us; the audio must not change.
#include <gtest/gtest.h>

#include <string>

#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm {
namespace {

using test::Bytes;
using test::Hex;
using test::Quote;
using test::Run;
using test::Session;
using test::TempDir;

std::string Python() { return test::FileExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// Tags a file: version 3 or 4 through mutagen, version 2 as a tag built
// byte by byte (mutagen writes no version 2.2); an ID3v1 block in all cases.
constexpr const char* kTagScript = R"PY(
import struct, sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, COMM, APIC
path, version = sys.argv[1], int(sys.argv[2])
png = bytes.fromhex('89504e470d0a1a0a') + bytes(range(40))
if version >= 3:
    t = ID3()
    t.add(TIT2(encoding=1, text='T\u00edtulo \u266a'))
    t.add(TPE1(encoding=0, text='Artist'))
    t.add(TALB(encoding=1, text='Album \U0001F600'))
    t.add(TRCK(encoding=0, text='7/12'))
    t.add(COMM(encoding=0, lang='fre', desc='x', text='Un commentaire'))
    t.add(COMM(encoding=1, lang='eng', desc='', text='A comment'))
    t.add(APIC(encoding=0, mime='image/png', type=3, desc='cover', data=png))
    t.save(path, v2_version=version, v1=0, padding=lambda info: 64)
else:
    def frame(fid, body):
        return fid.encode() + struct.pack('>I', len(body))[1:] + body
    def utf16(s):
        return b'\xff\xfe' + s.encode('utf-16-le')
    frames = (frame('TT2', b'\x01' + utf16('T\u00edtulo \u266a')) + frame('TP1', b'\x00Artist') +
              frame('TAL', b'\x01' + utf16('Album \U0001F600')) + frame('TRK', b'\x007/12') +
              frame('COM', b'\x00fre' + b'x\x00Un commentaire') +
              frame('COM', b'\x01eng' + utf16('') + b'\x00\x00' + utf16('A comment')) +
              frame('PIC', b'\x00PNG\x03cover\x00' + png)) + bytes(64)
    size = bytes((len(frames) >> s) & 0x7f for s in (21, 14, 7, 0))
    audio = open(path, 'rb').read()
    open(path, 'wb').write(b'ID3\x02\x00\x00' + size + frames + audio)
block = (b'TAG' + b'Title v1'.ljust(30, b'\0') + b'Artist v1'.ljust(30, b'\0') + b'Album v1'.ljust(30, b'\0') +
         b'1999' + b'Comment v1'.ljust(28, b'\0') + b'\x00\x07' + b'\x0c')
open(path, 'ab').write(block)
)PY";

// The frames of a file's ID3v2 tag as mutagen reads them, as JSON.
constexpr const char* kReadScript = R"PY(
import json, sys
from mutagen.id3 import ID3
try:
    t = ID3(sys.argv[1], translate=False, load_v1=False)
except Exception as e:
    print(json.dumps({'error': type(e).__name__})); sys.exit(0)
out = {'version': t.version[1]}
for key, f in t.items():
    if hasattr(f, 'mime'):
        out[key] = [f.mime, f.data.hex()]
    elif hasattr(f, 'text'):
        out[key] = [str(x) for x in f.text]
print(json.dumps(out, sort_keys=True, ensure_ascii=False))
)PY";

std::string Mutagen(const char* script, const std::string& args) {
    test::Result r = Run(Python() + " -c " + Quote(script) + " " + args);
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output;
}

std::string Internal(uint8_t encoding, const std::string& utf8) {
    return Hex(Bytes{encoding}) + Hex(test::ToBytes(utf8));
}

// A field's internal form without the terminator some writers add.
std::string Field(const MDRecord& record, int id) {
    const MDField& f = record.fields[id];
    int32_t size = f.size;
    while (size > 1 && f.data[size - 1] == 0) --size;
    return size > 0 ? Hex(f.data, size_t(size)) : "";
}

const std::string kPngHex = "89504e470d0a1a0a000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f2021222324252627";

class ID3SessionTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        path_ = dir_.File("song.mp3");
        ASSERT_TRUE(test::MakeMp3(path_, 0.5));
        audioMd5_ = test::DecodedMd5(path_);
        ASSERT_FALSE(audioMd5_.empty());
        Mutagen(kTagScript, Quote(path_) + " " + std::to_string(GetParam()));
        ASSERT_EQ(test::DecodedMd5(path_), audioMd5_);
    }
    std::string Tail(size_t n) {
        Bytes bytes = test::ReadFile(path_);
        return Hex(Bytes(bytes.end() - long(n), bytes.end()));
    }

    TempDir dir_;
    std::string path_;
    std::string audioMd5_;
};

TEST_P(ID3SessionTest, ReadsWhatTheWriterPutInAndWritesItBack) {
    Session session;
    MDRecord* record = nullptr;
    ASSERT_EQ(session.Open(path_, &record, "eng"), ZMTAGIO_S_OK);
    EXPECT_EQ(record->hasID3v1, 1u);
    EXPECT_EQ(record->hasID3v2, 1u);
    EXPECT_EQ(record->id3v2Version, GetParam());
    EXPECT_EQ(Field(*record, 17), Internal(1, "Título ♪"));
    EXPECT_EQ(Field(*record, 30), Internal(0, "Artist"));
    EXPECT_EQ(Field(*record, 1), Internal(1, "Album 😀"));
    EXPECT_EQ(Field(*record, 37), Internal(0, "7/12"));
    EXPECT_EQ(Field(*record, 50), Internal(1, "A comment"));
    EXPECT_EQ(std::string(record->fields[48].frameId, 4), "APIC");
    std::string picture = Hex(record->fields[48].data, size_t(record->fields[48].size));
    EXPECT_NE(picture.find(Hex(test::ToBytes("image/png"))), std::string::npos);
    EXPECT_NE(picture.find(kPngHex), std::string::npos);
    EXPECT_EQ(Field(*record, 110), Hex(test::ToBytes("Title v1")));
    EXPECT_EQ(Field(*record, 113), Hex(test::ToBytes("1999")));
    EXPECT_EQ(record->fields[114].size, 28);
    EXPECT_EQ(Field(*record, 115), "07");
    EXPECT_EQ(Field(*record, 116), "0c");

    // Written back with edits, then read by mutagen and by us.
    ASSERT_EQ(session.Edit(17, MD_KIND_ID3V2, "\x01New title ♪"), ZMTAGIO_S_OK);
    ASSERT_EQ(session.Edit(50, MD_KIND_ID3V2, "\x01New comment", "eng"), ZMTAGIO_S_OK);
    ASSERT_EQ(session.Edit(113, MD_KIND_ID3V1, "2024"), ZMTAGIO_S_OK);
    ASSERT_EQ(session.MDUpdate(0), ZMTAGIO_S_OK);
    std::string tags = Mutagen(kReadScript, Quote(path_));
    for (const char* expected :
         {"\"version\": 3", "\"TIT2\": [\"New title ♪\"]", "\"TPE1\": [\"Artist\"]", "\"TALB\": [\"Album 😀\"]",
          "\"TRCK\": [\"7/12\"]", "\"COMM::eng\": [\"New comment\"]", "\"COMM:x:fre\": [\"Un commentaire\"]"})
        EXPECT_NE(tags.find(expected), std::string::npos) << expected << " in " << tags;
    EXPECT_NE(tags.find("\"APIC:cover\": [\"image/png\", \"" + kPngHex + "\"]"), std::string::npos) << tags;
    EXPECT_EQ(test::DecodedMd5(path_), audioMd5_);
    EXPECT_EQ(Tail(128).substr(93 * 2, 8), Hex(test::ToBytes("2024")));

    Session again;
    ASSERT_EQ(again.Open(path_, &record, "eng"), ZMTAGIO_S_OK);
    EXPECT_EQ(record->id3v2Version, 3);
    EXPECT_EQ(Field(*record, 17), Internal(1, "New title ♪"));
    EXPECT_EQ(Field(*record, 1), Internal(1, "Album 😀"));
    EXPECT_EQ(Field(*record, 50), Internal(1, "New comment"));
    EXPECT_EQ(Field(*record, 110), Hex(test::ToBytes("Title v1")));
}

TEST_P(ID3SessionTest, EachKindOfTagCanBeRemoved) {
    Bytes before = test::ReadFile(path_);
    {
        Session session;
        ASSERT_EQ(session.Open(path_, nullptr), ZMTAGIO_S_OK);
        ASSERT_EQ(session.MDRemoveTag(MD_KIND_ID3V2, 0), ZMTAGIO_S_OK);
        ASSERT_EQ(session.MDUpdate(0), ZMTAGIO_S_OK);
    }
    Bytes noV2 = test::ReadFile(path_);
    EXPECT_NE(Hex(Bytes(noV2.begin(), noV2.begin() + 3)), "494433");
    EXPECT_EQ(Tail(128), Hex(Bytes(before.end() - 128, before.end())));
    EXPECT_NE(Mutagen(kReadScript, Quote(path_)).find("ID3NoHeaderError"), std::string::npos);
    {
        Session session;
        ASSERT_EQ(session.Open(path_, nullptr), ZMTAGIO_S_OK);
        ASSERT_EQ(session.MDRemoveTag(MD_KIND_ID3V1, 0), ZMTAGIO_S_OK);
        ASSERT_EQ(session.MDUpdate(0), ZMTAGIO_S_OK);
    }
    Bytes none = test::ReadFile(path_);
    EXPECT_EQ(none.size(), noV2.size() - 128);
    EXPECT_NE(Tail(128).substr(0, 6), "544147");
    EXPECT_EQ(test::DecodedMd5(path_), audioMd5_);
}

INSTANTIATE_TEST_SUITE_P(Versions, ID3SessionTest, ::testing::Values(2, 3, 4),
                         [](const auto& info) { return "v2_" + std::to_string(info.param); });

}  // namespace
}  // namespace zm
