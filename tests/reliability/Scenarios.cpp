#include "reliability/Scenarios.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "support/Session.h"

namespace zm::reliability {
namespace {

using namespace std::string_literals;

constexpr char kEnglish[4] = {'e', 'n', 'g', 0};

std::string Python() { return test::FileExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

bool MakeTaggedMp3(const std::string& path) {
    return test::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i 'sine=frequency=440:duration=1' -ac 1 "
                     "-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 3 -write_id3v1 1 "
                     "-metadata title='Old title' -metadata artist='Old artist' -metadata album='Old album' "
                     "-metadata comment='Old comment' -metadata track=3 -f mp3 " +
                     test::Quote(path) + " 2>&1")
               .status == 0;
}

// The header gets a Padding Object, so that small changes fit in place.
bool AddHeaderRoom(const std::string& path) {
    return test::Run(Python() + " -c 'import sys, mutagen.asf as a; f = a.ASF(sys.argv[1]); "
                                "f.save(padding=lambda info: 4096)' " + test::Quote(path))
               .status == 0;
}

const std::vector<std::string> kWmaTags = {"title=Old title", "artist=Old artist", "album=Old album"};

bool Make(Source source, const std::string& path) {
    switch (source) {
        case Source::MP3: return MakeTaggedMp3(path);
        case Source::Ogg: return test::MakeOgg(path, {"TITLE=Old title", "ARTIST=Old artist", "ALBUM=Old album"});
        case Source::WMA: return test::MakeWma(path, kWmaTags);
        case Source::WMARoom: return test::MakeWma(path, kWmaTags) && AddHeaderRoom(path);
    }
    return false;
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> scenarios = {
        {"MP3", Source::MP3, {{MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "New title"s}, {MD_KIND_ID3V1, MD_ID3V1_TITLE, "New v1 title"}}, true},
        {"Ogg", Source::Ogg, {{MD_KIND_OGG, MD_OGG_TITLE, "New title"}, {MD_KIND_OGG, MD_OGG_ARTIST, "New artist"}}, true},
        {"WMInPlace", Source::WMARoom, {{MD_KIND_WM, MD_WM_TITLE, "New title\0"s}}, true},
        // A value longer than the header has room for.
        {"WMRewrite", Source::WMA, {{MD_KIND_WM, MD_WM_ALBUMTITLE, std::string(290, 'a') + '\0'}}, true},
    };
    return scenarios;
}

const Scenario& ScenarioNamed(const std::string& name) {
    for (const Scenario& s : Scenarios())
        if (name == s.name) return s;
    throw std::invalid_argument(name);
}

const Bytes& SourceBytes(Source source) {
    static std::map<Source, Bytes> made;
    static test::TempDir folder;
    if (auto it = made.find(source); it != made.end()) return it->second;
    std::string path = folder.File("source-" + std::to_string(int(source)));
    if (!Make(source, path)) ADD_FAILURE() << "could not make the source file " << path;
    return made[source] = ReadWhole(path);
}

bool Outcome::Complete() const {
    return init >= 0 && std::all_of(edits.begin(), edits.end(), [](HRESULT hr) { return hr == ZMTAGIO_S_OK; }) &&
           update == ZMTAGIO_S_OK;
}

Outcome RunHost(const Scenario& scenario, const std::string& path, const std::function<void()>& afterEachCall) {
    auto after = [&] {
        if (afterEachCall) afterEachCall();
    };
    Outcome outcome;
    test::Session session;
    MDRecord* record = nullptr;
    outcome.init = session.Open(path, &record, kEnglish);
    after();
    if (outcome.init < 0) return outcome;
    // A file said to carry no tags gets them the way hosts add tags.
    static const std::vector<Edit> kAddTag = {{MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "New title"s}};
    bool untagged = outcome.init == ZMTAGIO_S_FALSE && !record->isASF;
    for (const Edit& edit : untagged ? kAddTag : scenario.edits) {
        outcome.edits.push_back(session.Edit(edit.id, edit.kind, edit.value, kEnglish));
        after();
    }
    if (scenario.update) {
        outcome.update = session.MDUpdate(0);
        after();
    }
    return outcome;
}

std::vector<Bytes> CleanStates(const Scenario& scenario, const Bytes& source, const std::string& folder) {
    std::string path = folder + "/clean";
    test::WriteFile(path, source);
    std::vector<Bytes> states = {source};
    Outcome outcome = RunHost(scenario, path, [&] {
        Bytes now = ReadWhole(path);
        if (now != states.back()) states.push_back(std::move(now));
    });
    EXPECT_TRUE(outcome.Complete()) << scenario.name << " does not succeed when nothing fails";
    std::filesystem::remove(path);
    return states;
}

Bytes ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    Bytes bytes(in ? size_t(in.tellg()) : 0);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

bool Defined(HRESULT hr) { return hr <= ZMTAGIO_S_FALSE; }

std::vector<std::string> OtherFiles(const std::string& folder, const std::vector<std::string>& expected) {
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end()) others.push_back(name);
    }
    return others;
}

ScopedTempDirectory::ScopedTempDirectory(const std::string& folder) {
    const char* previous = std::getenv("TMPDIR");
    had_ = previous != nullptr;
    if (had_) previous_ = previous;
    ::setenv("TMPDIR", folder.c_str(), 1);
}

ScopedTempDirectory::~ScopedTempDirectory() {
    if (had_)
        ::setenv("TMPDIR", previous_.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

}  // namespace zm::reliability
