// Write-back. MP3 and Ogg files are rebuilt in the temporary file and then put
// in the source's place; Windows Media files are changed in place by their
// writer.
//
// The source path holds either the complete old file or the complete new one
// at every moment: the temporary file is flushed to disk and then renamed over
// the source while it is still held (copied next to the source first when the
// temporary directory lies on another file system). A writer that could not
// produce its tag block fails the update before anything is replaced.
#include <cstring>
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

HRESULT STDMETHODCALLTYPE CzmTagIO::MDUpdate(LONG) {
    platform::TraceLine("MDUpdate Start");
    if (!record_) return ZMTAGIO_E_FAIL;
    MDRecord& record = *record_;
    std::string source(record.filePath, strnlen(record.filePath, kMaxPath));
    file_ = platform::File::Open(source.c_str(), platform::File::Mode::Read);
    if (!file_.IsOpen()) return ZMTAGIO_E_FAIL;

    // A temporary directory too long for the name is refused, not cut.
    std::string tempPath = platform::TempPath() + kTempName;
    platform::File temp;
    if (tempPath.size() < kMaxPath) temp = platform::File::Open(tempPath.c_str(), platform::File::Mode::CreateWrite);
    if (!temp.IsOpen()) {
        file_.Close();
        return ZMTAGIO_E_FAIL;
    }

    auto failureExit = [&](HRESULT hr) {
        temp.Close();
        file_.Close();
        platform::DeleteFile(tempPath.c_str());
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
        file_.Close();
        return failureExit(wm::WriteWMIntoFile(record, wm_, 0));
    }
    if (hr != ZMTAGIO_S_OK || !temp.Flush()) return failureExit(ZMTAGIO_E_FAIL);
    platform::TraceLine("MDUpdate OK, write back into file");
    file_.Close();
    Reset();

    if (!platform::CanReplace(source.c_str())) {
        platform::TraceLine("Can't Delete Source File");
        return failureExit(ZMTAGIO_E_FAIL);
    }
    temp.TakePermissionsOf(source.c_str());
    if (!temp.ReplaceTarget(source.c_str())) {
        // The source is untouched; the finished temporary file is kept for
        // the user and its place reported.
        platform::TraceLine("Can't MoveFile File");
        platform::TraceLine("%s", tempPath.c_str());
        temp.Close();
        return ZMTAGIO_E_FAIL;
    }
    temp.Close();
    platform::TraceLine("MDUpdate Write back ok");
    return ZMTAGIO_S_OK;
}

}  // namespace zm
