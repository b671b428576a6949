#include "reliability/Scenarios.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "support/Session.h"

namespace zm::reliability {
namespace {

using namespace std::string_literals;

constexpr char kEnglish[4] = {'e', 'n', 'g', 0};
const std::vector<std::string> kTags = {"title=Old title", "artist=Old artist", "album=Old album"};

bool Make(Source source, const std::string& path) {
    std::string python = test::FileExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    switch (source) {
        case Source::MP3:
            return test::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i 'sine=frequency=440:duration=1' -ac 1 "
                             "-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 3 -write_id3v1 1 "
                             "-metadata title='Old title' -metadata artist='Old artist' -metadata album='Old album' "
                             "-metadata comment='Old comment' -metadata track=3 -f mp3 " + test::Quote(path) + " 2>&1")
                       .status == 0;
        case Source::Ogg: return test::MakeOgg(path, {"TITLE=Old title", "ARTIST=Old artist", "ALBUM=Old album"});
        case Source::WMA: return test::MakeWma(path, kTags);
        case Source::WMARoom:  // a Padding Object, so that small changes fit in place
            return test::MakeWma(path, kTags) &&
                   test::Run(python + " -c 'import sys, mutagen.asf as a; f = a.ASF(sys.argv[1]); "
                                      "f.save(padding=lambda info: 4096)' " + test::Quote(path)).status == 0;
    }
    return false;
}

}  // namespace

const Scenario& ScenarioNamed(const std::string& name) {
    static const std::vector<Scenario> scenarios = {
        {"MP3", Source::MP3, {{MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "New title"s}, {MD_KIND_ID3V1, MD_ID3V1_TITLE, "New v1 title"}}},
        {"Ogg", Source::Ogg, {{MD_KIND_OGG, MD_OGG_TITLE, "New title"}, {MD_KIND_OGG, MD_OGG_ARTIST, "New artist"}}},
        {"WMInPlace", Source::WMARoom, {{MD_KIND_WM, MD_WM_TITLE, "New title\0"s}}},
        // A value longer than the header has room for.
        {"WMRewrite", Source::WMA, {{MD_KIND_WM, MD_WM_ALBUMTITLE, std::string(290, 'a') + '\0'}}},
    };
    for (const Scenario& s : scenarios)
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
    return init >= 0 && update == ZMTAGIO_S_OK &&
           std::all_of(edits.begin(), edits.end(), [](HRESULT hr) { return hr == ZMTAGIO_S_OK; });
}

bool Outcome::Defined() const {
    return init <= ZMTAGIO_S_FALSE && update <= ZMTAGIO_S_FALSE &&
           std::all_of(edits.begin(), edits.end(), [](HRESULT hr) { return hr <= ZMTAGIO_S_FALSE; });
}

std::string Outcome::Describe() const {
    auto hex = [](HRESULT hr) {
        char text[16];
        std::snprintf(text, sizeof text, " %08x", unsigned(hr));
        return std::string(text);
    };
    std::string out = "MDInit" + hex(init) + ", edits";
    for (HRESULT hr : edits) out += hex(hr);
    return out + ", MDUpdate" + hex(update);
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
    static const std::vector<Edit> kAddTag = {{MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "New title"s}};
    for (const Edit& edit : outcome.init == ZMTAGIO_S_FALSE && !record->isASF ? kAddTag : scenario.edits) {
        outcome.edits.push_back(session.Edit(edit.id, edit.kind, edit.value, kEnglish));
        after();
    }
    outcome.update = session.MDUpdate(0);
    after();
    return outcome;
}

std::vector<Bytes> CleanStates(const Scenario& scenario, const Bytes& source, const std::string& folder) {
    std::string path = folder + "/clean";
    test::WriteFile(path, source);
    std::vector<Bytes> states = {source};
    Outcome outcome = RunHost(scenario, path, [&] {
        if (Bytes now = ReadWhole(path); now != states.back()) states.push_back(std::move(now));
    });
    EXPECT_TRUE(outcome.Complete()) << scenario.name << " does not succeed when nothing fails";
    std::filesystem::remove(path);
    return states;
}

Bytes ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    Bytes bytes(in ? size_t(in.tellg()) : 0);
    in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

std::vector<std::string> OtherFiles(const std::string& folder, const std::vector<std::string>& expected) {
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (auto name = entry.path().filename().string(); std::find(expected.begin(), expected.end(), name) == expected.end())
            others.push_back(name);
    return others;
}

ScopedTempDirectory::ScopedTempDirectory(const std::string& folder) {
    if (const char* previous = std::getenv("TMPDIR")) previous_ = previous;
    ::setenv("TMPDIR", folder.c_str(), 1);
}

ScopedTempDirectory::~ScopedTempDirectory() {
    if (previous_) ::setenv("TMPDIR", previous_->c_str(), 1);
    else ::unsetenv("TMPDIR");
}

}  // namespace zm::reliability
