// What the harnesses share: a private folder for the input file and for the
// temporary file of an update (parallel fuzzing jobs never meet), and the
// checks whose failure libFuzzer reports as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zmTagIO.h"

namespace zm::fuzz {

using Bytes = std::vector<uint8_t>;

// The folder is made on first use and removed when the process ends; the
// temporary directory of the component (TMPDIR) is a folder inside it.
class Workspace {
public:
    static Workspace& Get();
    const std::string& Input() const { return input_; }
    std::string TempFile() const;
    // The input file with exactly these bytes.
    void WriteInput(const uint8_t* data, size_t size) const;
    // Files that a finished update left: anything in the temporary
    // directory or beside the input.
    std::vector<std::string> Leftovers() const;
    void ClearLeftovers() const;
    void Remove() const;

private:
    Workspace();
    std::string root_, input_, tempDir_;
};

Bytes ReadAll(const std::string& path);

// Prints the finding and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* what, const std::string& detail = {});
inline void Check(bool condition, const char* what, const std::string& detail = {}) {
    if (!condition) Fail(what, detail);
}

// What a host does with a record: reads every byte of every field that says
// it has bytes. Fields that point outside their buffers show up under ASan.
void ReadLikeAHost(const MDRecord& record);

// Whether a field holds the expected bytes, followed by nothing but zero
// bytes (padding of fixed-width fields, text terminators).
bool Holds(const MDField& field, const std::string& expected);
std::string Describe(const MDField& field);

}  // namespace zm::fuzz
