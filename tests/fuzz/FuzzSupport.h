// What the harnesses share: a private folder per process (parallel jobs never meet) and the checks.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/Session.h"

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

// Made on first use under ZM_FUZZ_WORKDIR (in memory: updates flush), removed at exit; TMPDIR is its "tmp".
struct Workspace {
    std::string root, input = root + "/input", tmp = root + "/tmp";

    static const Workspace& Get() {
        static const Workspace* made = [] {
            const char* base = std::getenv("ZM_FUZZ_WORKDIR");
            std::string root = std::string(base && *base ? base : "/tmp") + "/zmtagio-fuzz-XXXXXX";
            Check(::mkdtemp(root.data()) != nullptr, "cannot make the workspace", root);
            auto* workspace = new Workspace{root};
            fs::create_directory(workspace->tmp);
            ::setenv("TMPDIR", workspace->tmp.c_str(), 1);
            std::atexit([] { std::error_code ignored; fs::remove_all(Get().root, ignored); });
            return workspace;
        }();
        return *made;
    }
    void WriteInput(const uint8_t* data, size_t size) const {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        Check(bool(out.write(reinterpret_cast<const char*>(data), std::streamsize(size))), "cannot write", input);
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

// MDInit on the input: a documented result, the record exactly on success, the flags of one format only, and
// fields a host can read to the last byte (ASan sees overreads).
inline HRESULT OpenChecked(zm::test::Session& session, MDRecord*& out, const char* language) {
    out = nullptr;
    HRESULT hr = session.Open(Workspace::Get().input, &out, language);
    bool opened = hr == ZMTAGIO_S_OK || hr == ZMTAGIO_S_FALSE;
    Check(opened || hr == ZMTAGIO_E_FAIL || hr == ZMTAGIO_E_OUTOFMEMORY, "MDInit result", std::to_string(hr));
    Check(opened == (out != nullptr), "the record reaches the host exactly when MDInit succeeds");
    if (!out) return hr;
    Check((out->hasID3v1 || out->hasID3v2) + (out->isOgg != 0) + (out->isASF != 0) <= 1, "flags of two formats");
    volatile uint8_t sink = 0;
    for (int id = 0; id < MD_FIELD_COUNT; ++id) {
        const MDField& field = out->fields[id];
        Check(field.size <= 0 || field.data != nullptr, "a field has a size but no bytes", std::to_string(id));
        for (int32_t i = 0; i < field.size; ++i) sink = sink ^ field.data[i];
    }
    return hr;
}

// The expected bytes, then only zero bytes (padding of fixed-width fields, terminators).
inline bool Holds(const MDField& field, const std::string& expected) {
    return field.size >= int32_t(expected.size()) && field.data &&
           std::memcmp(field.data, expected.data(), expected.size()) == 0 &&
           std::all_of(field.data + expected.size(), field.data + field.size, [](uint8_t b) { return b == 0; });
}

}  // namespace zm::fuzz
