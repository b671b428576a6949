// Files of every format and what a host does to them, shared by the fault,
// crash and concurrency tests: MP3 and Ogg rebuilt through the temporary
// file, Windows Media changed in place and by rewriting the file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "zmTagIO.h"

namespace zm::reliability {

using test::Bytes;

struct Edit {
    int kind, id;
    std::string value;
};

// MP3: ID3v2.3 and ID3v1 (ffmpeg). Ogg: oggenc. WMA: as ffmpeg writes it, no
// room in the header. WMARoom: with header padding (mutagen).
enum class Source { MP3, Ogg, WMA, WMARoom };

struct Scenario {
    const char* name;  // MP3, Ogg, WMInPlace, WMRewrite
    Source source;
    std::vector<Edit> edits;  // then MDUpdate
};

const Scenario& ScenarioNamed(const std::string& name);
// The source file, made once per run by real encoders.
const Bytes& SourceBytes(Source source);

struct Outcome {
    HRESULT init = 0, update = 0;
    std::vector<HRESULT> edits;
    bool Complete() const;  // every call succeeded: the file must hold the new content
    bool Defined() const;   // no positive result other than S_FALSE
    std::string Describe() const;
};

// What a host does: MDInit, the edits, MDUpdate; it stops after a failed
// MDInit and adds an ID3v2 title instead of the edits to a file MDInit finds
// untagged. afterEachCall, when given, runs after every call.
Outcome RunHost(const Scenario& scenario, const std::string& path, const std::function<void()>& afterEachCall = {});

// The contents a file that starts as source takes, in order, when nothing
// fails: the source, then each different content after a call.
std::vector<Bytes> CleanStates(const Scenario& scenario, const Bytes& source, const std::string& folder);

Bytes ReadWhole(const std::string& path);  // in one read: files here run to megabytes
std::vector<std::string> OtherFiles(const std::string& folder, const std::vector<std::string>& expected = {});

// Points TMPDIR at a folder for its lifetime.
class ScopedTempDirectory {
public:
    explicit ScopedTempDirectory(const std::string& folder);
    ~ScopedTempDirectory();

private:
    std::optional<std::string> previous_;
};

inline constexpr char kTempName[] = "VOYdklna7tG.tmp";

}  // namespace zm::reliability
