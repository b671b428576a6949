// Write-back. MP3 and Ogg files are rebuilt in a file of their own and then
// put in the source's place; Windows Media files are changed in place by their
// writer.
//
// The source path holds either the complete old file or the complete new one
// at every moment: the new file is flushed to disk and then renamed over the
// source while the source is still held. A writer that could not produce its
// tag block fails the update before anything is replaced, and a failed update
// leaves the session as it was, so that it can be tried again.
//
// An update holds the file it changes: a second update of the same file, in
// this process or another, fails at once with ZMTAGIO_E_SHARINGVIOLATION.
// A file that changed since MDInit read it (another program wrote it, or
// another update replaced it) is not written from the stale record: that
// fails with ZMTAGIO_E_FILECHANGED. Through a symbolic link, the file the
// link points to is changed and the link stays as it is.
#include <cstring>
#include <string>

#include "platform/FileCopy.h"
#include "platform/Trace.h"
#include "session/CzmTagIO.h"

namespace zm {

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
    if (record.hasID3v2 && writeTag_[MD_KIND_ID3V2] &&
        !id3::WriteID3V2IntoFile(record, id3_, editedFrames_.bytes(), temp))
        return ZMTAGIO_E_FAIL;
    HRESULT hr = CopyFileRange(file_, temp, audio_.start, audio_.end);
    if (hr != ZMTAGIO_S_OK) return ZMTAGIO_E_FAIL;
    if (record.hasID3v1 && writeTag_[MD_KIND_ID3V1] && !id3::WriteID3V1IntoFile(record, temp))
        return ZMTAGIO_E_FAIL;
    return ZMTAGIO_S_OK;
}

HRESULT CzmTagIO::WriteOGG(platform::File& temp) {
    MDRecord& record = *record_;
    if (CopyFileRange(file_, temp, 0, audio_.start) != ZMTAGIO_S_OK) return ZMTAGIO_E_FAIL;
    if (!writeTag_[MD_KIND_OGG]) {
        for (int id = 1; id <= 16; ++id) record.fields[id].size = 0;
        editedFrames_.Release();
    }
    if (!ogg::WriteOGGIntoFile(record, ogg_, editedFrames_.bytes(), temp)) return ZMTAGIO_E_FAIL;
    int64_t length = file_.Size();
    if (length < 0 || CopyFileRange(file_, temp, audio_.end, uint64_t(length)) != ZMTAGIO_S_OK)
        return ZMTAGIO_E_FAIL;
    return ZMTAGIO_S_OK;
}

// Takes the file for the update: held against every other update, and still
// the file MDInit read. A file the user may not replace is not changed at
// all, however the change would be written.
HRESULT CzmTagIO::HoldForUpdate(const std::string& target) {
    if (target.empty() || !platform::CanReplace(target.c_str())) {
        platform::TraceLine("Can't Delete Source File");
        return ZMTAGIO_E_FAIL;
    }
    file_ = platform::File::Open(target.c_str(), platform::File::Mode::Update);
    if (!file_.IsOpen()) {
        if (!platform::OpenFailedBusy()) return ZMTAGIO_E_FAIL;
        platform::TraceLine("MDUpdate the file is held by another update");
        return ZMTAGIO_E_SHARINGVIOLATION;
    }
    platform::File::Stamp now;
    if (!file_.GetStamp(now)) return ZMTAGIO_E_FAIL;
    if (now != readStamp_) {
        platform::TraceLine("MDUpdate the file changed since it was read");
        return ZMTAGIO_E_FILECHANGED;
    }
    return ZMTAGIO_S_OK;
}

// The new file is built where nothing is left of it if the update fails or
// is killed before the rename.
HRESULT CzmTagIO::Rebuild(const std::string& target) {
    MDRecord& record = *record_;
    platform::File rebuilt = platform::File::CreateReplacement(target.c_str());
    if (!rebuilt.IsOpen()) return ZMTAGIO_E_FAIL;
    HRESULT hr = record.hasID3v1 || record.hasID3v2 ? WriteMP3(rebuilt) : WriteOGG(rebuilt);
    if (hr != ZMTAGIO_S_OK || !rebuilt.Flush() || !rebuilt.TakePermissionsOf(target.c_str()))
        return ZMTAGIO_E_FAIL;
    platform::TraceLine("MDUpdate OK, write back into file");
    if (!rebuilt.ReplaceTarget(target.c_str(), &file_)) {
        platform::TraceLine("Can't MoveFile File");
        return ZMTAGIO_E_FAIL;
    }
    return ZMTAGIO_S_OK;
}

HRESULT CzmTagIO::WriteBack(const std::string& source) {
    MDRecord& record = *record_;
    if (!record.hasID3v1 && !record.hasID3v2 && !record.isOgg) {
        // The header is changed in place by the Windows Media writer, which
        // opens the file itself.
        file_ = platform::File::Open(source.c_str(), platform::File::Mode::Read);
        if (!file_.IsOpen()) return ZMTAGIO_E_FAIL;
        file_.Close();
        return wm::WriteWMIntoFile(record, 0);
    }
    std::string target = platform::FollowLinks(source.c_str());
    HRESULT hr = HoldForUpdate(target);
    if (hr == ZMTAGIO_S_OK) hr = Rebuild(target);
    file_.Close();
    if (hr != ZMTAGIO_S_OK) return hr;
    Reset();
    platform::TraceLine("MDUpdate Write back ok");
    return ZMTAGIO_S_OK;
}

HRESULT STDMETHODCALLTYPE CzmTagIO::MDUpdate(LONG) {
    platform::TraceLine("MDUpdate Start");
    if (!record_) return ZMTAGIO_E_FAIL;
    const MDRecord& record = *record_;
    return WriteBack(std::string(record.filePath, strnlen(record.filePath, kMaxPath)));
}

}  // namespace zm
