// zmtagio: reads and changes the tags of MP3, Ogg Vorbis and Windows Media
// files from a terminal, as a host of the tag component.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <map>

#include "Commands.h"

namespace zmtagio {
namespace {

// Output that no one watches appear goes out in large writes: a write call
// for every two or three JSON lines cost as much as reading a small file.
// The C library takes the size only with a buffer of the caller's.
char outputBuffer[256 * 1024];

constexpr const char* kCommonNames[] = {"title", "artist", "album", "year", "genre", "track", "comment"};

constexpr const char* kMainFooter = R"(Exit status: 0 success, 1 when any file failed, 2 for bad usage.

Examples:
  zmtagio show song.mp3
  zmtagio show --json *.ogg
  zmtagio set song.mp3 --title "Blue in Green" --artist "Miles Davis" --track 3
  zmtagio set --jobs 2 ~/Music/Kind\ of\ Blue --album "Kind of Blue"
  zmtagio remove song.mp3 --id3v1
  zmtagio scan --jobs 4 ~/Music

Run "zmtagio COMMAND --help" for the options of one command.)";

constexpr const char* kShowFooter = R"(Prints the kind of tags, then one line per field: id, frame id or name, text.
With --json, one object per file per line: path, result, hr, hasID3v1,
hasID3v2, isOgg, isASF, id3v2Version, id3v2Flags and fields (id, kind, name,
size, text; lang and description for comments; hex, the value's bytes, for
values that are not text or whose bytes the text cannot show, and with --hex
for every value).

Examples:
  zmtagio show song.mp3 other.ogg
  zmtagio show --json --lang eng song.mp3
  zmtagio show --json --hex song.mp3
  zmtagio show --codepage 1251 old.mp3)";

constexpr const char* kSetFooter = R"(Names the fields of each kind of tag:
  MP3            TIT2 TPE1 TALB TYER TCON TRCK COMM, and the ID3v1 block when
                 the file has one or --id3v1 is given
  Ogg Vorbis     TITLE ARTIST ALBUM DATE GENRE TRACKNUMBER COMMENT
  Windows Media  Title Author WM/AlbumTitle WM/Year WM/Genre WM/TrackNumber
                 Description
--field names any frame id, Ogg name or Windows Media attribute. Options apply
in order, the last value of a field wins, and an empty value deletes the field.
Comments are written in the language of --lang (default eng). The ID3v1 block
holds what fits of a value, "?" for characters its code page lacks.
Files are changed in parallel (--jobs), each with one line: what changed, or
on standard error why it was not. Every value is checked for a file before
anything of it is written; a file that fails is left as it was and the others
go on. Each file is read back afterwards. In a folder, every file under it is
changed, except that symbolic links are not followed and a file with no tags
gets one only when its name ends in .mp3.

Examples:
  zmtagio set song.mp3 --title "So What" --year 1959 --comment ""
  zmtagio set song.mp3 --id3v1 --genre Jazz --track 1
  zmtagio set track.ogg --field PERFORMER="Bill Evans" --field ISRC=USSM15900113
  zmtagio set clip.wma --field WM/Composer="Miles Davis"
  zmtagio set --jobs 2 *.mp3 --album "Kind of Blue")";

constexpr const char* kRemoveFooter = R"(One line per file; folders are walked as set walks them.

Examples:
  zmtagio remove song.mp3 --id3v1
  zmtagio remove song.mp3 --id3v1 --id3v2
  zmtagio remove track.ogg --ogg
  zmtagio remove --id3v1 ~/Music)";

constexpr const char* kScanFooter = R"(Reads every file under the folders in parallel and prints one line per file
in the order the folders list them (one JSON object with --json, as show
prints it), then a summary: files, tagged by kind, failures. Links to files
are read, links to folders not followed. A progress bar is drawn on standard
error when it is a terminal.

Examples:
  zmtagio scan ~/Music
  zmtagio scan --json --jobs 2 /srv/music > tags.jsonl)";

std::string CheckLanguage(const std::string& text) {
    bool letters = text.size() == 3 && std::all_of(text.begin(), text.end(), [](char c) {
                       return std::isalpha(static_cast<unsigned char>(c));
                   });
    return letters ? std::string() : "a language is three letters, such as eng";
}

Language ToLanguage(const std::string& text) {
    Language language;
    for (size_t i = 0; i < text.size() && i < 3; ++i)
        language.bytes[i] = char(std::tolower(static_cast<unsigned char>(text[i])));
    return language;
}

struct CommonFlags {
    std::string language;
    std::optional<uint32_t> codePage;
    std::optional<uint32_t> hostCodePage;
    bool trace = false;
};

void AddCommonOptions(CLI::App& command, CommonFlags& flags) {
    command.add_option("--lang", flags.language, "Comment language, three letters (eng, deu, ...)")
        ->type_name("LLL")
        ->check(CLI::Validator(CheckLanguage, ""));
    command.add_option("--codepage", flags.codePage, "Code page of 8-bit tag text (1252, 1251, 932, 936, ...)")
        ->type_name("N");
    command.add_option("--host-codepage", flags.hostCodePage,
                       "Code page of Windows Media values and paths (default 65001, UTF-8)")
        ->type_name("N");
    command.add_flag("--trace", flags.trace, "Print the component's trace on standard error");
}

CommonOptions ToCommon(const CommonFlags& flags, const char* defaultLanguage) {
    return {ToLanguage(flags.language.empty() ? defaultLanguage : flags.language), flags.codePage,
            flags.hostCodePage, flags.trace};
}

// The values of the field options, in the order they were given.
std::vector<FieldRequest> RequestsInOrder(const CLI::App& command, const std::map<const CLI::Option*, std::string>& common,
                                          const CLI::Option* field) {
    std::vector<FieldRequest> requests;
    std::map<const CLI::Option*, size_t> used;
    for (const CLI::Option* option : command.parse_order()) {
        size_t index = used[option]++;
        if (index >= option->results().size()) continue;
        const std::string& value = option->results()[index];
        if (option == field) {
            size_t equals = value.find('=');
            requests.push_back({value.substr(0, equals), value.substr(equals + 1), false});
        } else if (auto name = common.find(option); name != common.end()) {
            requests.push_back({name->second, value, true});
        }
    }
    return requests;
}

std::string CheckFieldAssignment(const std::string& text) {
    size_t equals = text.find('=');
    return equals == std::string::npos || equals == 0 ? "expected NAME=VALUE" : std::string();
}

void AddJobsOption(CLI::App& command, unsigned& jobs) {
    command.add_option("--jobs", jobs, "Worker threads (default: one per processor)")->check(CLI::Range(1u, 256u));
}

// A shell glob hands over thousands of paths, and the parser spends about as
// much on each as reading a small file's tags costs. Of a long run of plain
// arguments that ends the line, all but the first two are set aside and
// joined to the command's list after the parse. No option takes more than
// one value, so the two left to the parser hold any value an option before
// them takes, and what follows them can only be paths.
constexpr int kPlainKeptForParser = 2;
constexpr int kPlainRunSetAside = 64;

std::vector<std::string> SetTrailingPathsAside(int& argc, char** argv) {
    int first = argc;
    while (first > 1 && argv[first - 1][0] != '-') --first;
    if (argc - first < kPlainRunSetAside) return {};
    int kept = first + kPlainKeptForParser;
    std::vector<std::string> aside(argv + kept, argv + argc);
    argc = kept;
    return aside;
}

int Usage(const std::string& message) {
    PrintError(message + " (see zmtagio --help)");
    return kExitUsage;
}

}  // namespace
}  // namespace zmtagio

int main(int argc, char** argv) {
    using namespace zmtagio;
    if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
    CLI::App app{"Reads and writes the tags of MP3 (ID3v1, ID3v2), Ogg Vorbis, Ogg Opus and Windows Media files.", "zmtagio"};
    app.set_version_flag("--version", "zmtagio " ZMTAGIO_VERSION);
    app.require_subcommand(1);
    app.footer(kMainFooter);

    ShowOptions show;
    CommonFlags showFlags;
    CLI::App* showCommand = app.add_subcommand("show", "Print the tags of files");
    showCommand->add_flag("--json", show.json, "One JSON object per file per line");
    showCommand->add_flag("--hex", show.hex, "With --json, the bytes of every value in hexadecimal");
    AddCommonOptions(*showCommand, showFlags);
    showCommand->add_option("FILE", show.files, "Files to read")->required();
    showCommand->footer(kShowFooter);

    SetOptions set;
    CommonFlags setFlags;
    std::vector<std::string> ignored;
    std::map<const CLI::Option*, std::string> commonOptions;
    CLI::App* setCommand = app.add_subcommand("set", "Change fields of files");
    AddCommonOptions(*setCommand, setFlags);
    AddJobsOption(*setCommand, set.jobs);
    setCommand->add_option("FILE", set.files, "Files and folders to change")->required();
    for (const char* name : kCommonNames) {
        CLI::Option* option =
            setCommand->add_option(std::string("--") + name, ignored, std::string("New ") + name + " (empty: delete)");
        commonOptions[option->type_name("TEXT")->allow_extra_args(false)] = name;
    }
    CLI::Option* field = setCommand->add_option("--field", ignored, "Any field by its frame id, Ogg name or attribute")
                             ->type_name("NAME=VALUE")
                             ->allow_extra_args(false)
                             ->check(CLI::Validator(CheckFieldAssignment, ""));
    setCommand->add_flag("--id3v1", set.id3v1, "Also write the common fields into an ID3v1 block (MP3)");
    setCommand->footer(kSetFooter);

    RemoveOptions remove;
    bool removeID3V1 = false, removeID3V2 = false, removeOgg = false;
    CLI::App* removeCommand = app.add_subcommand("remove", "Remove whole tags from files");
    AddJobsOption(*removeCommand, remove.jobs);
    removeCommand->add_option("FILE", remove.files, "Files and folders to change")->required();
    removeCommand->add_flag("--id3v1", removeID3V1, "Remove the ID3v1 block");
    removeCommand->add_flag("--id3v2", removeID3V2, "Remove the ID3v2 tag");
    removeCommand->add_flag("--ogg", removeOgg, "Remove every Ogg Vorbis or Opus comment");
    removeCommand->footer(kRemoveFooter);

    ScanOptions scan;
    CLI::App* scanCommand = app.add_subcommand("scan", "Read every file under folders, in parallel");
    scanCommand->add_flag("--json", scan.json, "One JSON object per file per line, then a summary object");
    scanCommand->add_flag("--hex", scan.hex, "With --json, the bytes of every value in hexadecimal");
    AddJobsOption(*scanCommand, scan.jobs);
    scanCommand->add_option("DIR", scan.folders, "Folders (or files) to read")->required();
    scanCommand->footer(kScanFooter);

    std::vector<std::string> aside = SetTrailingPathsAside(argc, argv);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);
        return Usage(error.what());
    }
    for (auto [command, paths] : {std::pair{showCommand, &show.files}, std::pair{setCommand, &set.files},
                                  std::pair{removeCommand, &remove.files}, std::pair{scanCommand, &scan.folders}})
        if (command->parsed()) paths->insert(paths->end(), aside.begin(), aside.end());

    if (showCommand->parsed()) {
        show.common = ToCommon(showFlags, "");
        return ApplyCommonOptions(show.common) ? RunShow(show) : kExitUsage;
    }
    if (setCommand->parsed()) {
        set.common = ToCommon(setFlags, "eng");
        set.requests = RequestsInOrder(*setCommand, commonOptions, field);
        if (set.requests.empty()) return Usage("set: name at least one field to change");
        return ApplyCommonOptions(set.common) ? RunSet(set) : kExitUsage;
    }
    if (removeCommand->parsed()) {
        if (removeID3V1) remove.kinds.push_back(MD_KIND_ID3V1);
        if (removeID3V2) remove.kinds.push_back(MD_KIND_ID3V2);
        if (removeOgg) remove.kinds.push_back(MD_KIND_OGG);
        if (remove.kinds.empty()) return Usage("remove: name the tags to remove (--id3v1, --id3v2, --ogg)");
        return RunRemove(remove);
    }
    return RunScan(scan);
}
