// Hand-made ID3 tags for the tests, and a reader that runs the probe and the
// readers over a file the way opening it does.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "id3/ID3.h"
#include "support/TestSupport.h"

namespace zm::id3::test {

using zm::test::Bytes;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
// A literal with the zero bytes it holds, without its terminator.
template <size_t N>
Bytes Text(const char (&s)[N]) {
    return Bytes(s, s + N - 1);
}

inline Bytes BigEndian(uint32_t v, int bytes) {
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
    return out;
}

inline Bytes Syncsafe(uint32_t v) {
    return {uint8_t(v >> 21 & 0x7F), uint8_t(v >> 14 & 0x7F), uint8_t(v >> 7 & 0x7F), uint8_t(v & 0x7F)};
}

// One frame in the layout of the given major version.
inline Bytes Frame(int version, const std::string& id, const Bytes& body, uint16_t flags = 0) {
    if (version == 2) return Text(id) + BigEndian(uint32_t(body.size()), 3) + body;
    Bytes size = version == 4 ? Syncsafe(uint32_t(body.size())) : BigEndian(uint32_t(body.size()), 4);
    return Text(id) + size + BigEndian(flags, 2) + body;
}

// Header, then the rest (extended header, frames, padding) as given.
inline Bytes Tag(int version, uint8_t flags, const Bytes& rest) {
    return Bytes{'I', 'D', '3', uint8_t(version), 0, flags} + Syncsafe(uint32_t(rest.size())) + rest;
}

inline Bytes Zeros(size_t n) { return Bytes(n, 0); }

// What opening a file leaves behind for the ID3 code.
struct TagReader {
    MDRecord record{};
    ID3State state;
    TagBlocks blocks;
    platform::FileRange audio;
    platform::Buffer tagBuffer;
    HRESULT result = ZMTAGIO_E_FAIL;

    TagReader(const std::string& path, const char* language = "\0\0\0") {
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
        return f.size > 0 ? zm::test::Hex(f.data, size_t(f.size)) : "";
    }
    std::string Kept() const { return zm::test::Hex(state.keptFrames.data, state.keptFrames.used); }
};

// Tests that read tags from files they write.
class TagFileTest : public ::testing::Test {
protected:
    std::string Write(const Bytes& bytes, const std::string& name = "in.mp3") {
        std::string path = dir_.File(name);
        zm::test::WriteFile(path, bytes);
        return path;
    }
    zm::test::TempDir dir_;
};

}  // namespace zm::id3::test
