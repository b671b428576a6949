// Hand-made ID3 tags, and a reader that runs the probe and the readers over a file the way opening it does.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "id3/ID3.h"
#include "support/TestSupport.h"

namespace zm::id3::test {

using zm::test::Bytes;
using zm::test::FromHex;
using zm::test::Hex;
using zm::test::operator+;

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
template <size_t N>  // a literal with the zero bytes it holds, without its terminator
Bytes Text(const char (&s)[N]) {
    return Bytes(s, s + N - 1);
}
inline Bytes Zeros(size_t n) { return Bytes(n, 0); }
inline Bytes BigEndian(uint32_t v, int bytes, int bits = 8) {  // 7 bits a byte: syncsafe
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(v >> (bits * i) & ((1 << bits) - 1)));
    return out;
}
inline Bytes Syncsafe(uint32_t v) { return BigEndian(v, 4, 7); }

// The tags as an update builds them.
inline Bytes BuiltTag(MDRecord& record, ID3State& state, std::span<const uint8_t> staged, uint64_t room) {
    ID3V2Tag tag;
    EXPECT_TRUE(BuildID3V2Tag(record, state, staged, room, tag));
    return Bytes(tag.bytes.bytes().begin(), tag.bytes.bytes().end());
}
inline Bytes BuiltBlock(const MDRecord& record) {
    Bytes block(kID3V1BlockSize);
    BuildID3V1Block(record, std::span<uint8_t, kID3V1BlockSize>(block));
    return block;
}

// One frame in the layout of the given major version.
inline Bytes Frame(int version, const std::string& id, const Bytes& body, uint16_t flags = 0) {
    uint32_t size = uint32_t(body.size());
    if (version == 2) return Text(id) + BigEndian(size, 3) + body;
    return Text(id) + (version == 4 ? Syncsafe(size) : BigEndian(size, 4)) + BigEndian(flags, 2) + body;
}

// Header, then the rest (extended header, frames, padding) as given.
inline Bytes Tag(int version, uint8_t flags, const Bytes& rest) {
    return Bytes{'I', 'D', '3', uint8_t(version), 0, flags} + Syncsafe(uint32_t(rest.size())) + rest;
}

// What opening a file leaves behind for the ID3 code.
struct TagReader {
    MDRecord record{};
    ID3State state;
    TagBlocks blocks;
    platform::FileRange audio;
    platform::Buffer tagBuffer;
    HRESULT result = ZMTAGIO_E_FAIL;

    explicit TagReader(const std::string& path, const char* language = "\0\0\0") {
        platform::File file = platform::File::Open(path.c_str(), platform::File::Mode::Read);
        EXPECT_TRUE(file.IsOpen());
        audio.end = uint64_t(file.Size());
        uint32_t size = ProbeID3Tags(file, record, blocks, audio);
        if (size == 0 || !tagBuffer.Allocate(size)) return;
        uint8_t* cursor = tagBuffer.data();
        result = ZMTAGIO_S_OK;
        if (record.hasID3v1) {
            result = ReadID3V1FromFile(file, record, cursor);
            cursor += blocks.id3v1;
        }
        if (record.hasID3v2 && result == ZMTAGIO_S_OK)
            result = ReadID3V2FromFile(file, record, state, cursor, blocks.id3v2, language, audio);
    }
    std::string Field(int id) const {
        const MDField& f = record.fields[id];
        return f.size > 0 ? Hex(f.data, size_t(f.size)) : "";
    }
    // Every field that holds bytes, a line each: id, frame id, frame flags, the bytes.
    std::string Fields() const {
        std::string out;
        for (int id = 0; id < MD_FIELD_COUNT; ++id)
            if (const MDField& f = record.fields[id]; f.size > 0)
                out += std::to_string(id) + " " + std::string(f.frameId, strnlen(f.frameId, 4)) + " " +
                       Hex(BigEndian(f.frameFlags, 2)) + " " + Field(id) + "\n";
        return out;
    }
    std::string Kept() const { return Hex(state.keptFrames.data, state.keptFrames.used); }
};

// Tests that read tags from files they write.
class TagFileTest : public ::testing::Test {
protected:
    std::string Write(const Bytes& bytes) {
        zm::test::WriteFile(dir_.File("in.mp3"), bytes);
        return dir_.File("in.mp3");
    }
    zm::test::TempDir dir_;
};

}  // namespace zm::id3::test
