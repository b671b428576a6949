// Files of every format and what a host does to them, shared by the fault,
// crash and concurrency tests: MP3 and Ogg rebuilt through the temporary
// file, Windows Media changed in place and by rewriting the file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "zmTagIO.h"

namespace zm::reliability {

using test::Bytes;

struct Edit {
    int kind;
    int id;
    std::string value;
};

enum class Source {
    MP3,     // ID3v2.3 tag and ID3v1 block (ffmpeg)
    Ogg,     // Vorbis comments (oggenc)
    WMA,     // Windows Media as ffmpeg writes it: no room in the header
    WMARoom  // Windows Media with padding in its header (mutagen)
};

struct Scenario {
    const char* name;
    Source source;
    std::vector<Edit> edits;
    bool update;  // MDUpdate after the edits
};

// MP3, Ogg, Windows Media in place, Windows Media by rewrite.
const std::vector<Scenario>& Scenarios();
const Scenario& ScenarioNamed(const std::string& name);

// The source file, made once per run by real encoders.
const Bytes& SourceBytes(Source source);

struct Outcome {
    HRESULT init = 0;
    std::vector<HRESULT> edits;
    HRESULT update = 0;
    // Every call succeeded: the file must hold the new content.
    bool Complete() const;
};

// What a host does: MDInit, the edits, MDUpdate; it stops after a failed
// MDInit, and adds an ID3v2 title instead of the edits to a file that MDInit
// finds untagged. afterEachCall, when given, runs after every call.
Outcome RunHost(const Scenario& scenario, const std::string& path,
                const std::function<void()>& afterEachCall = {});

// The contents a file that starts as source takes, in order, when nothing
// fails: the source, then each different content after a call.
std::vector<Bytes> CleanStates(const Scenario& scenario, const Bytes& source, const std::string& folder);

// Undocumented results: positive values other than S_FALSE.
bool Defined(HRESULT hr);

// The whole file in one read (files here run to megabytes).
Bytes ReadWhole(const std::string& path);

// Files in a folder other than the ones named.
std::vector<std::string> OtherFiles(const std::string& folder, const std::vector<std::string>& expected = {});

// Points TMPDIR at a folder for its lifetime.
class ScopedTempDirectory {
public:
    explicit ScopedTempDirectory(const std::string& folder);
    ~ScopedTempDirectory();
    ScopedTempDirectory(const ScopedTempDirectory&) = delete;
    ScopedTempDirectory& operator=(const ScopedTempDirectory&) = delete;

private:
    std::string previous_;
    bool had_;
};

inline constexpr char kTempName[] = "VOYdklna7tG.tmp";

}  // namespace zm::reliability
