// Files of every format and what a host does to them, shared by the fault,
// crash and concurrency tests: MP3 and Ogg rebuilt through the temporary
// file, Windows Media changed in place and by rewriting the file.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "support/Session.h"
#include "support/TestSupport.h"

namespace zm::reliability {

using namespace std::string_literals;
using test::Bytes;

inline constexpr char kTempName[] = "VOYdklna7tG.tmp";

struct Edit {
    int kind, id;
    std::string value;
};

// MP3: ID3v2.3 and ID3v1 (ffmpeg). Ogg: oggenc. WMA: as ffmpeg writes it, no
// room in the header. WMARoom: with header padding (mutagen).
enum class Source { MP3, Ogg, WMA, WMARoom };

struct Scenario {
    const char* name;
    Source source;
    std::vector<Edit> edits;  // then MDUpdate
};

inline const Scenario& ScenarioNamed(const std::string& name) {
    static const Scenario scenarios[] = {
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

// In one read: files here run to megabytes.
inline Bytes ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    Bytes bytes(in ? size_t(in.tellg()) : 0);
    in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    return bytes;
}

// The source file, made once per run by real encoders.
inline const Bytes& SourceBytes(Source source) {
    static std::map<Source, Bytes> made;
    static test::TempDir folder;
    if (auto it = made.find(source); it != made.end()) return it->second;
    std::string path = folder.File("source-" + std::to_string(int(source))), quoted = test::Quote(path);
    std::vector<std::string> tags = {"title=Old title", "artist=Old artist", "album=Old album"};
    bool ok = source == Source::MP3
                  ? test::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i 'sine=frequency=440:duration=1' -ac 1 "
                              "-c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 3 -write_id3v1 1 -metadata "
                              "title='Old title' -metadata artist='Old artist' -metadata album='Old album' -metadata "
                              "comment='Old comment' -metadata track=3 -f mp3 " + quoted + " 2>&1").status == 0
              : source == Source::Ogg ? test::MakeOgg(path, {"TITLE=Old title", "ARTIST=Old artist", "ALBUM=Old album"})
                                      : test::MakeWma(path, tags);
    if (ok && source == Source::WMARoom)  // a Padding Object, so that small changes fit in place
        ok = test::Run((test::FileExists("/usr/bin/python3") ? "/usr/bin/python3"s : "python3"s) +
                       " -c 'import sys, mutagen.asf as a; f = a.ASF(sys.argv[1]); f.save(padding=lambda info: 4096)' " +
                       quoted).status == 0;
    if (!ok) ADD_FAILURE() << "could not make the source file " << path;
    return made[source] = ReadWhole(path);
}

struct Outcome {
    HRESULT init = 0, update = 0;
    std::vector<HRESULT> edits;
    bool All(const std::function<bool(HRESULT)>& ok) const { return std::all_of(edits.begin(), edits.end(), ok); }
    // Every call succeeded: the file must hold the new content.
    bool Complete() const { return init >= 0 && update == ZMTAGIO_S_OK && All([](HRESULT hr) { return hr == ZMTAGIO_S_OK; }); }
    // No positive result other than S_FALSE.
    bool Defined() const {
        return init <= ZMTAGIO_S_FALSE && update <= ZMTAGIO_S_FALSE && All([](HRESULT hr) { return hr <= ZMTAGIO_S_FALSE; });
    }
    static std::string Hex(HRESULT hr) {
        char text[12];
        return std::snprintf(text, sizeof text, " %08x", unsigned(hr)), text;
    }
    std::string Describe() const {
        std::string out = "MDInit" + Hex(init) + ", edits";
        for (HRESULT hr : edits) out += Hex(hr);
        return out + ", MDUpdate" + Hex(update);
    }
};

// What a host does: MDInit, the edits, MDUpdate; it stops after a failed
// MDInit and adds an ID3v2 title instead of the edits to a file MDInit finds
// untagged. afterEachCall, when given, runs after every call.
inline Outcome RunHost(const Scenario& scenario, const std::string& path, const std::function<void()>& afterEachCall = [] {}) {
    static const std::vector<Edit> kAddTag = {{MD_KIND_ID3V2, MD_ID3V2_TIT2, "\x00" "New title"s}};
    Outcome outcome;
    test::Session session;
    MDRecord* record = nullptr;
    outcome.init = session.Open(path, &record, "eng");
    afterEachCall();
    if (outcome.init < 0) return outcome;
    for (const Edit& edit : outcome.init == ZMTAGIO_S_FALSE && !record->isASF ? kAddTag : scenario.edits) {
        outcome.edits.push_back(session.Edit(edit.id, edit.kind, edit.value, "eng"));
        afterEachCall();
    }
    outcome.update = session.MDUpdate(0);
    afterEachCall();
    return outcome;
}

// The contents a file that starts as source takes, in order, when nothing
// fails: the source, then each different content after a call.
inline std::vector<Bytes> CleanStates(const Scenario& scenario, const Bytes& source, const std::string& folder) {
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

inline std::vector<std::string> OtherFiles(const std::string& folder, const std::vector<std::string>& expected = {}) {
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (auto name = entry.path().filename().string(); std::find(expected.begin(), expected.end(), name) == expected.end())
            others.push_back(name);
    return others;
}

// Points TMPDIR at a folder for its lifetime.
struct ScopedTempDirectory {
    std::optional<std::string> previous;
    explicit ScopedTempDirectory(const std::string& folder) {
        if (const char* now = std::getenv("TMPDIR")) previous = now;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~ScopedTempDirectory() { previous ? ::setenv("TMPDIR", previous->c_str(), 1) : ::unsetenv("TMPDIR"); }
};

}  // namespace zm::reliability
