// What the harnesses share: a private folder for the input file and the
// component's temporary directory (parallel fuzzing jobs never meet), and the
// checks whose failure libFuzzer reports as a finding.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zmTagIO.h"

namespace zm::fuzz {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// Prints the finding and aborts, so that libFuzzer keeps the input.
inline void Check(bool condition, const char* what, const std::string& detail = {}) {
    if (condition) return;
    std::fprintf(stderr, "\n*** finding: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stderr);
    std::abort();
}

inline Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A folder made on first use under ZM_FUZZ_WORKDIR (run.sh puts it in memory:
// updates flush the file) and removed at exit; TMPDIR is its folder "tmp".
struct Workspace {
    std::string root, input, tmp;

    static const Workspace& Get() {
        static const Workspace* made = [] {
            const char* base = std::getenv("ZM_FUZZ_WORKDIR");
            std::string root = (base && *base ? std::string(base) : fs::temp_directory_path().string()) + "/zmtagio-fuzz-XXXXXX";
            Check(::mkdtemp(root.data()) != nullptr, "cannot make the workspace", root);
            fs::create_directory(root + "/tmp");
            ::setenv("TMPDIR", (root + "/tmp").c_str(), 1);
            std::atexit([] { std::error_code ignored; fs::remove_all(Get().root, ignored); });
            return new Workspace{root, root + "/input", root + "/tmp"};
        }();
        return *made;
    }
    void WriteInput(const uint8_t* data, size_t size) const {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        Check(bool(out.write(reinterpret_cast<const char*>(data), std::streamsize(size))), "cannot write the input", input);
    }
    // Files a finished update left: anything in TMPDIR or beside the input.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(tmp)) names.push_back(entry.path().string());
        for (const auto& entry : fs::directory_iterator(root))
            if (entry.path() != input && entry.path() != tmp) names.push_back(entry.path().string());
        return names;
    }
    void CheckNothingLeft(const char* what) const {
        auto left = Leftovers();
        Check(left.empty(), what, left.empty() ? "" : left.front());
    }
};

// What a host does with a record: reads every byte of every field that says
// it has bytes. Fields that point outside their buffers show up under ASan.
inline void ReadLikeAHost(const MDRecord& record) {
    volatile uint8_t sink = 0;
    for (int id = 0; id < MD_FIELD_COUNT; ++id) {
        const MDField& field = record.fields[id];
        Check(field.size <= 0 || field.data != nullptr, "a field has a size but no bytes", std::to_string(id));
        for (int32_t i = 0; i < field.size; ++i) sink = sink ^ field.data[i];
    }
}

// Whether a field holds the expected bytes, then nothing but zero bytes
// (padding of fixed-width fields, text terminators).
inline bool Holds(const MDField& field, const std::string& expected) {
    return field.size >= int32_t(expected.size()) && field.data &&
           std::memcmp(field.data, expected.data(), expected.size()) == 0 &&
           std::all_of(field.data + expected.size(), field.data + field.size, [](uint8_t b) { return b == 0; });
}

inline std::string Describe(const MDField& field) {
    std::string text = "size " + std::to_string(field.size) + ":";
    char hex[4];
    for (int32_t i = 0; field.data && i < field.size && i < 64; ++i) text += (std::snprintf(hex, 4, " %02x", field.data[i]), hex);
    return text;
}

}  // namespace zm::fuzz
