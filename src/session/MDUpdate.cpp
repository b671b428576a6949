// Write-back. MP3 and Ogg files are rebuilt in the temporary file and then put
// in the source's place; Windows Media files are changed in place by their
// writer.
//
// The source path holds either the complete old file or the complete new one
// at every moment: the temporary file is flushed to disk and then renamed over
// the source while it is still held (copied next to the source first when the
// temporary directory lies on another file system). A writer that could not
// produce its tag block fails the update before anything is replaced.
#include <string>

#include "platform/FileCopy.h"
#include "platform/Trace.h"
#include "session/CzmTagIO.h"

namespace zm {
namespace {

constexpr char kTempName[] = "VOYdklna7tG.tmp";

}  // namespace

HRESULT CzmTagIO::CopyFileRange(platform::File& source, platform::File& destination, uint64_t start,
                                uint64_t end) {
    switch (platform::CopyRange(source, destination, {start, end})) {
        case platform::CopyResult::Copied: return ZMTAGIO_S_OK;
        case platform::CopyResult::NoMemory: return ZMTAGIO_E_OUTOFMEMORY;
        case platform::CopyResult::Failed: break;
    }
    return ZMTAGIO_E_FAIL;
}

HRESULT CzmTagIO::WriteMP3(platform::File& temp) {
    MDRecord& record = *record_;
    // The new tag takes the room in front of the audio that the old one had.
    if (record.hasID3v2 && writeTag_[MD_KIND_ID3V2] &&
        !id3::WriteID3V2IntoFile(record, id3_, editedFrames_.bytes(), audio_.start, temp))
        return ZMTAGIO_E_FAIL;
    HRESULT hr = CopyFileRange(file_, temp, audio_.start, audio_.end);
    if (hr != ZMTAGIO_S_OK) return ZMTAGIO_E_FAIL;
    if (record.hasID3v1 && writeTag_[MD_KIND_ID3V1] && !id3::WriteID3V1IntoFile(record, temp))
        return ZMTAGIO_E_FAIL;
    return ZMTAGIO_S_OK;
}

// The header pages are built whole before anything is written: the file
// before them is copied, then the new pages, then the rest, renumbered when
// the header page count changed. Comments to be removed are left out of
// the pages without touching the record: a failed update leaves the record as
// it was.
HRESULT CzmTagIO::WriteOGG(platform::File& temp) {
    ogg::NewHeaderPages headers;
    if (!ogg::BuildOGGHeaderPages(*record_, ogg_, editedFrames_.bytes(), writeTag_[MD_KIND_OGG] != 0, headers))
        return ZMTAGIO_E_FAIL;
    if (CopyFileRange(file_, temp, 0, headers.replaced.start) != ZMTAGIO_S_OK ||
        !temp.WriteAll(headers.pages.span()))
        return ZMTAGIO_E_FAIL;
    int64_t length = file_.Size();
    if (length < 0) return ZMTAGIO_E_FAIL;
    platform::FileRange rest{headers.replaced.end, uint64_t(length)};
    if (headers.pageShift == 0) return CopyFileRange(file_, temp, rest.start, rest.end) == ZMTAGIO_S_OK ? ZMTAGIO_S_OK : ZMTAGIO_E_FAIL;
    return ogg::CopyOGGPages(file_, temp, rest, ogg_.headers, headers.pageShift) == ogg::CopyOutcome::Copied
               ? ZMTAGIO_S_OK
               : ZMTAGIO_E_FAIL;
}

// A failed update leaves the record, the staged edits and the file as they
// were, and may be tried again. A rewrite that succeeded reads the file again
// into the same record, so that every pointer the host reads is good.
HRESULT STDMETHODCALLTYPE CzmTagIO::MDUpdate(LONG) {
    platform::TraceLine("MDUpdate Start");
    if (!record_ || source_.empty()) return ZMTAGIO_E_FAIL;
    MDRecord& record = *record_;
    const char* source = SourcePath();
    file_ = platform::File::Open(source, platform::File::Mode::Read);
    if (!file_.IsOpen()) return ZMTAGIO_E_FAIL;

    // A temporary directory too long for the name is refused, not cut.
    std::string tempPath = platform::TempPath() + kTempName;
    platform::File temp;
    if (tempPath.size() <= platform::kPathLimit)
        temp = platform::File::Open(tempPath.c_str(), platform::File::Mode::CreateWrite);
    if (!temp.IsOpen()) {
        file_.Close();
        return ZMTAGIO_E_FAIL;
    }

    // The writers may mark the record (the ID3v2 header flags they wrote).
    const MDRecord before = record;
    auto failureExit = [&](HRESULT hr) {
        temp.Close();
        file_.Close();
        platform::DeleteFile(tempPath.c_str());
        record = before;
        return hr;
    };

    HRESULT hr;
    if (record.hasID3v1 || record.hasID3v2) {
        hr = WriteMP3(temp);
    } else if (record.isOgg) {
        hr = WriteOGG(temp);
    } else {
        // The header is changed in place, so our own read handle must not
        // stand in its way (on Windows it would refuse the writer's access).
        // The record already holds what was written.
        file_.Close();
        return failureExit(wm::WriteWMIntoFile(record, wm_, source, 0));
    }
    if (hr != ZMTAGIO_S_OK || !temp.Flush()) return failureExit(ZMTAGIO_E_FAIL);
    platform::TraceLine("MDUpdate OK, write back into file");
    file_.Close();

    if (!platform::CanReplace(source)) {
        platform::TraceLine("Can't Delete Source File");
        return failureExit(ZMTAGIO_E_FAIL);
    }
    temp.TakePermissionsOf(source);
    if (!temp.ReplaceTarget(source)) {
        // The source is untouched; the finished temporary file is kept for
        // the user and its place reported.
        platform::TraceLine("Can't MoveFile File");
        platform::TraceLine("%s", tempPath.c_str());
        temp.Close();
        record = before;
        return ZMTAGIO_E_FAIL;
    }
    temp.Close();
    platform::TraceLine("MDUpdate Write back ok");
    ReadAgain();
    return ZMTAGIO_S_OK;
}

}  // namespace zm
