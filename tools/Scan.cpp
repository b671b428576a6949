#include <unistd.h>

#include <cstdio>

#include "Commands.h"
#include "JsonWriter.h"
#include "OggComments.h"
#include "Report.h"
#include "Workers.h"

namespace zmtagio {
namespace {

constexpr unsigned kID3V1Bit = 1, kID3V2Bit = 2, kOggBit = 4, kWMBit = 8, kOpusBit = 16;

struct Tally {
    size_t files = 0, id3v1 = 0, id3v2 = 0, ogg = 0, opus = 0, wm = 0, untagged = 0, failed = 0;
};

// The counts of the JSON summary, in its order: "ogg" counts every Ogg file
// (Vorbis and Opus), "opus" those of them that are Ogg Opus.
struct SummaryCount {
    JsonKey name;
    size_t Tally::*count;
};
constexpr SummaryCount kSummaryCounts[] = {
    {"files", &Tally::files}, {"id3v1", &Tally::id3v1}, {"id3v2", &Tally::id3v2},       {"ogg", &Tally::ogg},
    {"opus", &Tally::opus},   {"wm", &Tally::wm},       {"untagged", &Tally::untagged}, {"failed", &Tally::failed}};

unsigned TagBits(const MDRecord& record, const std::string& oggCodec) {
    unsigned ogg = record.isOgg ? kOggBit | (oggCodec == "Opus" ? kOpusBit : 0) : 0;
    return (record.hasID3v1 ? kID3V1Bit : 0) | (record.hasID3v2 ? kID3V2Bit : 0) | ogg | (record.isASF ? kWMBit : 0);
}

// A failed file is listed on standard output with the others: the listing
// is the command's result.
void ReadOne(TagSession& session, const WalkedFile& file, const ScanOptions& options, FileReport& report) {
    // Kept by each worker from file to file, so that a line costs no allocation.
    thread_local FieldList fields;
    HRESULT hr = session.Open(file.path, Language{});
    const MDRecord* record = session.Record();
    // The record does not name an Ogg file's codec: its first page does, read
    // once for the line and the tally.
    std::string oggCodec = record && record->isOgg ? OggCodec(file.path) : std::string();
    if (options.json)
        AppendJsonLine(report.out, file.path, hr, record, CurrentCodePage(), fields, options.hex);
    else
        AppendSummaryLine(report.out, file.path, hr, record, &oggCodec);
    report.out += '\n';
    report.failed = Failed(hr);
    if (record) report.tags = TagBits(*record, oggCodec);
}

void Count(const FileReport& report, Tally& tally) {
    ++tally.files;
    if (report.failed) {
        ++tally.failed;
        return;
    }
    tally.id3v1 += (report.tags & kID3V1Bit) != 0;
    tally.id3v2 += (report.tags & kID3V2Bit) != 0;
    tally.ogg += (report.tags & kOggBit) != 0;
    tally.opus += (report.tags & kOpusBit) != 0;
    tally.wm += (report.tags & kWMBit) != 0;
    tally.untagged += report.tags == 0;
}

std::string SummaryText(const Tally& tally) {
    return std::to_string(tally.files) + " files: " + std::to_string(tally.id3v2) + " ID3v2, " +
           std::to_string(tally.id3v1) + " ID3v1, " + std::to_string(tally.ogg - tally.opus) + " Ogg Vorbis, " +
           std::to_string(tally.opus) + " Ogg Opus, " +
           std::to_string(tally.wm) + " Windows Media, " + std::to_string(tally.untagged) + " untagged, " +
           std::to_string(tally.failed) + " failed";
}

std::string SummaryJson(const Tally& tally) {
    std::string out;
    {
        JsonWriter json(out);
        json.BeginObject();
        json.BeginObject("summary");
        for (const auto& [name, count] : kSummaryCounts) json.Number(name, int64_t(tally.*count));
        json.EndObject();
        json.EndObject();
    }
    return out;
}

}  // namespace

int RunScan(const ScanOptions& options) {
    FileWalk walk(options.folders, FolderLinks::FilesTaken);
    Progress progress(isatty(STDERR_FILENO) == 1);
    Tally tally;
    // A folder that could not be read has its line on standard error and is
    // no file of the summary.
    std::optional<size_t> failures = RunOverFiles(
        walk, options.jobs,
        [&](TagSession& session, const WalkedFile& file, FileReport& report) { ReadOne(session, file, options, report); },
        [&](const FileReport& report) {
            if (!report.out.empty()) Count(report, tally);
        },
        progress);
    if (!failures) return kExitFailed;
    std::printf("%s\n", options.json ? SummaryJson(tally).c_str() : SummaryText(tally).c_str());
    return *failures > 0 ? kExitFailed : kExitOk;
}

}  // namespace zmtagio
