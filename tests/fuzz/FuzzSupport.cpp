#include "fuzz/FuzzSupport.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zm::fuzz {
namespace {

constexpr char kTempName[] = "VOYdklna7tG.tmp";

// Memory-backed when the machine has it: updates flush the file to disk, and
// a disk would make every execution wait for it.
std::string WorkspaceBase() {
    if (const char* chosen = std::getenv("ZM_FUZZ_WORKDIR"); chosen && *chosen) return chosen;
    if (::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

}  // namespace

Workspace::Workspace() {
    std::string pattern = WorkspaceBase() + "/zmtagio-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make the workspace", pattern);
    root_ = pattern;
    input_ = root_ + "/input";
    tempDir_ = root_ + "/tmp";
    std::filesystem::create_directory(tempDir_);
    ::setenv("TMPDIR", tempDir_.c_str(), 1);
}

Workspace& Workspace::Get() {
    static Workspace* workspace = [] {
        auto* made = new Workspace();
        std::atexit([] { Workspace::Get().Remove(); });
        return made;
    }();
    return *workspace;
}

std::string Workspace::TempFile() const { return tempDir_ + "/" + kTempName; }

void Workspace::WriteInput(const uint8_t* data, size_t size) const {
    std::ofstream out(input_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    Check(bool(out), "cannot write the input file", input_);
}

std::vector<std::string> Workspace::Leftovers() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tempDir_))
        names.push_back(entry.path().string());
    for (const auto& entry : std::filesystem::directory_iterator(root_))
        if (entry.path() != input_ && entry.path() != tempDir_) names.push_back(entry.path().string());
    return names;
}

void Workspace::ClearLeftovers() const {
    for (const std::string& name : Leftovers()) std::filesystem::remove(name);
}

void Workspace::Remove() const {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "\n*** finding: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::fflush(stderr);
    std::abort();
}

void ReadLikeAHost(const MDRecord& record) {
    volatile uint8_t sink = 0;
    for (int id = 0; id < MD_FIELD_COUNT; ++id) {
        const MDField& field = record.fields[id];
        if (field.size <= 0) continue;
        Check(field.data != nullptr, "a field has a size but no bytes", std::to_string(id));
        for (int32_t i = 0; i < field.size; ++i) sink = sink ^ field.data[i];
    }
    (void)sink;
}

bool Holds(const MDField& field, const std::string& expected) {
    if (field.size < int32_t(expected.size()) || field.data == nullptr) return false;
    if (std::memcmp(field.data, expected.data(), expected.size()) != 0) return false;
    for (int32_t i = int32_t(expected.size()); i < field.size; ++i)
        if (field.data[i] != 0) return false;
    return true;
}

std::string Describe(const MDField& field) {
    static const char digits[] = "0123456789abcdef";
    std::string text = "size " + std::to_string(field.size) + ":";
    for (int32_t i = 0; field.data && i < field.size && i < 64; ++i) {
        text += ' ';
        text += digits[field.data[i] >> 4];
        text += digits[field.data[i] & 15];
    }
    return text;
}

}  // namespace zm::fuzz
