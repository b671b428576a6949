// Ogg Vorbis and Ogg Opus files as real tools make them (oggenc, vorbiscomment, ffmpeg, mutagen), with pictures,
// long comment lists, repeated names and text beyond ASCII: show reads what mutagen reads, and set changes exactly the
// entries it names, checked by vorbiscomment or mutagen entry by entry, with the audio, the pages and ogginfo's view of
// the file otherwise as they were.
#include <algorithm>

#include "Cli.h"

namespace zm::test::cli {
namespace {

const char* const kOggNames[] = {"TITLE",        "VERSION",     "ALBUM", "TRACKNUMBER", "ARTIST",  "PERFORMER",
                                 "COPYRIGHT",    "LICENSE",     "ORGANIZATION", "DESCRIPTION", "GENRE",
                                 "DATE",         "LOCATION",    "CONTACT", "ISRC", "COMMENT"};

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
std::string NameOf(const std::string& entry) { return Upper(entry.substr(0, entry.find('='))); }

// Every entry, NAME=value, in the file's order: vorbiscomment for Vorbis, mutagen for Opus.
std::vector<std::string> Entries(const std::string& path, bool opus) {
    if (!opus) return Lines(test::Run("vorbiscomment -l " + Quote(path)).output);
    return Lines(Python("from mutagen.oggopus import OggOpus\nfor k, v in OggOpus('" + path + "').tags: print(k + '=' + v)\n"));
}

// The rule of a rewrite: a named entry takes the place of the name's first entry and its other entries go; a name the
// file lacks comes last.
std::vector<std::string> Edited(std::vector<std::string> entries, const std::vector<std::string>& edits) {
    for (const std::string& edit : edits) {
        auto first = std::find_if(entries.begin(), entries.end(), [&](auto& e) { return NameOf(e) == NameOf(edit); });
        if (first == entries.end()) {
            entries.push_back(edit);
            continue;
        }
        *first = edit;
        entries.erase(std::remove_if(first + 1, entries.end(), [&](auto& e) { return NameOf(e) == NameOf(edit); }),
                      entries.end());
    }
    return entries;
}

// ogginfo's warnings and errors, which a rewrite must not add to.
size_t OgginfoComplaints(const std::string& path) {
    std::vector<std::string> lines = Lines(test::Run("ogginfo " + Quote(path) + " 2>&1").output);
    return size_t(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("WARNING", 0) == 0 || line.rfind("ERROR", 0) == 0 || line.rfind("Warning", 0) == 0;
    }));
}

class OggFiles : public Cli {
protected:
    std::string Sine(const std::string& name) {
        std::string wav = File(name + ".wav");
        EXPECT_EQ(test::Run("ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=duration=2 -ac 2 " + Quote(wav)).status, 0);
        return wav;
    }
    // Adds, with mutagen, the entries a tagger adds: a lower-case name, two ARTIST values, a track total, a gain, and a
    // picture of 150 KB, whose entry needs more than 255 segments.
    void Tag(const std::string& path, bool opus) {
        Python(std::string("import base64, os\nfrom mutagen.flac import Picture\nfrom mutagen.") +
               (opus ? "oggopus import OggOpus as F" : "oggvorbis import OggVorbis as F") + "\nf = F('" + path +
               "')\np = Picture()\np.type = 3\np.mime = 'image/jpeg'\np.data = os.urandom(150000)\n"
               "for kv in [('title', 'm\u00fctagen'), ('ARTIST', 'One'), ('ARTIST', 'Tw\u00f6'), ('TRACKTOTAL', '12'),"
               " ('REPLAYGAIN_TRACK_GAIN', '-1.50 dB'), ('METADATA_BLOCK_PICTURE', base64.b64encode(p.write()).decode())]:"
               "\n    f.tags.append(kv)\nf.save()\n");
    }
    std::string Made(const std::string& name) {
        std::string path = File(name), wav = Sine(name);
        std::string sine = "ffmpeg -nostdin -y -loglevel error -i " + Quote(wav);
        auto run = [&](const std::string& command) { EXPECT_EQ(test::Run(command).status, 0) << command; };
        if (name == "oggenc.ogg") {
            EXPECT_TRUE(MakeOgg(path, {"TITLE=T\u00eftle", "ARTIST=\u00d6ne", "ARTIST=Two", "TRACKTOTAL=12",
                                       "REPLAYGAIN_TRACK_GAIN=-1.50 dB", "title=second"}));
        } else if (name == "vorbiscomment.ogg") {  // a comment list over 10240 bytes
            EXPECT_TRUE(MakeOgg(path, {}));
            run("vorbiscomment -w -t " + Quote("LYRICS=" + std::string(11000, 'l')) + " -t 'ARTIST=\u00dcn\u00ef' -t "
                "'COMMENT=c' " + Quote(path));
        } else if (name == "ffmpeg.ogg" || name == "mutagen.ogg") {
            run(sine + " -c:a libvorbis -metadata 'title=Ff\u00e9' -metadata 'genre=\u2603' " + Quote(path));
        } else {
            run(sine + " -c:a libopus -metadata 'title=\u00d6pus' " + Quote(path));
        }
        if (name.rfind("mutagen", 0) == 0) Tag(path, name.ends_with(".opus"));
        return path;
    }
};

// The record's field of each of the 16 names is the name's first non-empty value, as mutagen reads it.
void ExpectShowMatchesMutagen(const Json& shown, const std::string& path) {
    Json mutagen = Json::parse(Python("import json, mutagen\nout = {}\nfor k, v in mutagen.File('" + path +
                                      "').tags:\n    if v and k.upper() not in out: out[k.upper()] = v\n"
                                      "print(json.dumps(out))\n"));
    for (int id = 1; id <= 16; ++id) {
        Json field = Field(shown, "ogg", id);
        std::string name = kOggNames[id - 1];
        if (mutagen.contains(name))
            EXPECT_EQ(field.value("text", ""), mutagen[name]) << path << " " << name;
        else
            EXPECT_TRUE(field.is_null() || field["size"] == 0) << path << " " << name;
    }
}

TEST_F(OggFiles, SetChangesTheNamedEntriesAndNothingElse) {
    const std::string title = "TITLE=N\u00f6w t\u00eftle", artist = "ARTIST=B\u00e4nd \u2713";
    for (std::string name : {"oggenc.ogg", "vorbiscomment.ogg", "ffmpeg.ogg", "ffmpeg.opus", "mutagen.ogg",
                             "mutagen.opus"}) {
        SCOPED_TRACE(name);
        std::string path = Made(name);
        bool opus = name.ends_with(".opus");
        ExpectShowMatchesMutagen(ShowJson(path), path);
        std::vector<std::string> before = Entries(path, opus);
        std::string audio = DecodedMd5(path);
        size_t complaints = OgginfoComplaints(path);

        Outcome set = Zmtagio("set " + Quote(path) + " --title " + Quote(title.substr(6)) + " --artist " +
                              Quote(artist.substr(7)));
        ASSERT_EQ(set.status, 0) << set.err;
        EXPECT_EQ(Entries(path, opus), Edited(before, {title, artist}));
        EXPECT_EQ(DecodedMd5(path), audio);
        EXPECT_EQ(OggPageProblem(ReadFile(path)), "");
        EXPECT_LE(OgginfoComplaints(path), complaints);
        Json shown = ShowJson(path);
        EXPECT_EQ(Field(shown, "ogg", 1)["text"], title.substr(6));
        EXPECT_EQ(Field(shown, "ogg", 5)["text"], artist.substr(7));
        ExpectShowMatchesMutagen(shown, path);
        EXPECT_NE(Zmtagio("show " + Quote(path)).out.find(opus ? ": Ogg Opus\n" : ": Ogg Vorbis\n"), std::string::npos);

        // Adding a name keeps every entry byte for byte where it was, the picture included.
        before = Entries(path, opus);
        ASSERT_EQ(Zmtagio("set " + Quote(path) + " --album X").status, 0);
        EXPECT_EQ(Entries(path, opus), Edited(before, {"ALBUM=X"}));
        EXPECT_EQ(OggPageProblem(ReadFile(path)), "");
    }
    // scan counts the codecs apart.
    std::string summary = Lines(Zmtagio("scan " + Quote(File(""))).out).back();
    EXPECT_NE(summary.find(" 4 Ogg Vorbis, 2 Ogg Opus, "), std::string::npos) << summary;
    EXPECT_TRUE(NoTemporaryFiles());
}

}  // namespace
}  // namespace zm::test::cli
