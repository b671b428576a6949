// Write-back. The new tag blocks of an MP3 file, and new Ogg header pages of
// up to 2 MB, are built in memory first. When they take exactly the bytes of
// the old ones, with every audio byte staying where it is, they are written
// over them in place; otherwise the file is rebuilt in a file of its own that
// then takes the source's place. Larger Ogg header pages (a cover picture)
// are always rebuilt, filled a page at a time from the old pages straight
// into the new file, so that memory stays small. Windows Media files are
// changed in place by their writer.
//
// In place, each block is one positioned write followed by a data sync, and
// no other byte is touched: a kill lands before or after a write, and a file
// with two tags (ID3v2 and ID3v1) may be left with the new first and the old
// second, both whole. A power cut during the write can leave the tag region
// part old, part new (the audio stays whole). A rebuild is atomic: the source
// path holds either the complete old file or the complete new one at every
// moment, power cuts included, because the new file is flushed to disk before
// it is renamed over the source while the source is still held. A writer that
// could not produce its tag block fails the update before anything is
// written.
//
// An update holds the file it changes: a second update of the same file, in
// this process or another, fails at once with ZMTAGIO_E_SHARINGVIOLATION.
// A file that changed since MDInit read it (another program wrote it, or
// another update replaced it) is not written from the stale record: that
// fails with ZMTAGIO_E_FILECHANGED. Through a symbolic link, the file the
// link points to is changed and the link stays as it is.
#include <algorithm>
#include <span>
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

namespace {

// Bytes that take the place of as many bytes of the file, at an offset.
struct Patch {
    uint64_t at = 0;
    std::span<const uint8_t> bytes;
};
constexpr size_t kMaxPatches = 2;  // an MP3 file's two tags
// The largest Ogg header pages written in place: with the old bytes that
// WriteInPlace holds, an update in place holds twice this.
constexpr uint64_t kMaxOGGInPlaceBytes = uint64_t(2) << 20;

// Writes each patch over the bytes it replaces, then syncs the data. The old
// bytes are read first: a patch already in the file is not written again,
// and when a write or the sync fails, what was written is put back, so that a
// failed update leaves the file as it was.
HRESULT WriteInPlace(platform::File& file, std::span<const Patch> patches) {
    if (patches.size() > kMaxPatches) return ZMTAGIO_E_FAIL;
    platform::Buffer old[kMaxPatches];
    bool differs[kMaxPatches] = {};
    for (size_t i = 0; i < patches.size(); ++i) {
        const Patch& patch = patches[i];
        if (!old[i].AllocateUnfilled(patch.bytes.size())) return ZMTAGIO_E_OUTOFMEMORY;
        if (!file.Seek(patch.at) || file.Read(old[i].span()) != int64_t(patch.bytes.size())) return ZMTAGIO_E_FAIL;
        differs[i] = !std::equal(patch.bytes.begin(), patch.bytes.end(), old[i].data());
    }
    size_t tried = 0;
    bool written = true;
    for (; written && tried < patches.size(); ++tried)
        written = !differs[tried] || file.WriteAt(patches[tried].at, patches[tried].bytes);
    if (written && file.FlushData()) {
        platform::TraceLine("MDUpdate OK, written in place");
        return ZMTAGIO_S_OK;
    }
    for (size_t i = 0; i < tried; ++i)
        if (differs[i]) file.WriteAt(patches[i].at, old[i].span());
    file.FlushData();
    return ZMTAGIO_E_FAIL;
}

}  // namespace

// The new file: the new ID3v2 tag, the audio as it is, the new ID3v1 block.
HRESULT CzmTagIO::WriteMP3(platform::File& out, std::span<const uint8_t> id3v2, std::span<const uint8_t> id3v1) {
    if (!out.WriteAll(id3v2) || CopyFileRange(file_, out, audio_.start, audio_.end) != ZMTAGIO_S_OK ||
        !out.WriteAll(id3v1))
        return ZMTAGIO_E_FAIL;
    return ZMTAGIO_S_OK;
}

// The file before the old header pages, the new pages, then the rest,
// renumbered when the header page count changed. The new pages are filled
// from the old ones a page at a time and go straight out.
HRESULT CzmTagIO::WriteOGG(platform::File& out, const ogg::NewHeaderPages& headers) {
    const ogg::PageOut toFile = [&](std::span<const uint8_t> page) { return out.WriteAll(page); };
    if (CopyFileRange(file_, out, 0, headers.replaced.start) != ZMTAGIO_S_OK ||
        !ogg::WriteOGGHeaderPages(file_, ogg_, editedFrames_.bytes(), headers, toFile))
        return ZMTAGIO_E_FAIL;
    int64_t length = file_.Size();
    if (length < 0) return ZMTAGIO_E_FAIL;
    platform::FileRange rest{headers.replaced.end, uint64_t(length)};
    bool copied = headers.pageShift == 0
                      ? CopyFileRange(file_, out, rest.start, rest.end) == ZMTAGIO_S_OK
                      : ogg::CopyOGGPages(file_, out, rest, ogg_.headers, headers.pageShift) == ogg::CopyOutcome::Copied;
    return copied ? ZMTAGIO_S_OK : ZMTAGIO_E_FAIL;
}

// In place when the new file would have the old one's length with every
// audio byte at its offset: the new ID3v2 tag fills exactly the room the old
// one took in front of the audio (or neither file has one), and an ID3v1
// block is written where there was one. A tag removed, added or grown
// means a rebuild.
HRESULT CzmTagIO::UpdateMP3(const std::string& target) {
    MDRecord& record = *record_;
    id3::ID3V2Tag tag;
    if (record.hasID3v2 && writeTag_[MD_KIND_ID3V2] &&
        !id3::BuildID3V2Tag(record, id3_, editedFrames_.bytes(), audio_.start, tag))
        return ZMTAGIO_E_FAIL;
    uint8_t block[id3::kID3V1BlockSize];
    bool withBlock = record.hasID3v1 && writeTag_[MD_KIND_ID3V1];
    if (withBlock) id3::BuildID3V1Block(record, block);
    std::span<const uint8_t> id3v2 = tag.bytes.bytes(), id3v1(block, withBlock ? sizeof block : 0);
    int64_t length = file_.Size();
    if (length < 0) return ZMTAGIO_E_FAIL;
    if (id3v2.size() == audio_.start && uint64_t(length) == audio_.end + id3v1.size()) {
        Patch patches[kMaxPatches];
        size_t count = 0;
        for (Patch patch : {Patch{0, id3v2}, Patch{audio_.end, id3v1}})
            if (!patch.bytes.empty()) patches[count++] = patch;
        return WriteInPlace(file_, {patches, count});
    }
    platform::File rebuilt = platform::File::CreateReplacement(target.c_str());
    HRESULT hr = rebuilt.IsOpen() ? WriteMP3(rebuilt, id3v2, id3v1) : ZMTAGIO_E_FAIL;
    return hr == ZMTAGIO_S_OK ? PutInPlace(rebuilt, target) : hr;
}

// In place when the new header pages take exactly the old pages' bytes, so
// that no later page moves or is renumbered, and they are at most
// kMaxOGGInPlaceBytes: in place, the new pages are built in memory before
// they are written over the pages they are built from, and WriteInPlace holds
// the old bytes as well. Larger pages (a cover picture) are rebuilt, filled a
// page at a time. Comments to be removed are left out of the pages without
// touching the record: a failed update leaves the record as it was.
HRESULT CzmTagIO::UpdateOGG(const std::string& target) {
    ogg::NewHeaderPages headers;
    std::span<const uint8_t> staged = editedFrames_.bytes();
    if (!ogg::PlanOGGHeaderPages(file_, *record_, ogg_, staged, writeTag_[MD_KIND_OGG] != 0, headers))
        return ZMTAGIO_E_FAIL;
    if (headers.pageShift == 0 && headers.size == headers.replaced.end - headers.replaced.start &&
        headers.size <= kMaxOGGInPlaceBytes) {
        platform::Buffer block;
        if (!block.AllocateUnfilled(size_t(headers.size))) return ZMTAGIO_E_OUTOFMEMORY;
        size_t filled = 0;
        const ogg::PageOut toBlock = [&](std::span<const uint8_t> page) {
            if (page.size() > block.size() - filled) return false;
            std::copy(page.begin(), page.end(), block.data() + filled);
            filled += page.size();
            return true;
        };
        if (!ogg::WriteOGGHeaderPages(file_, ogg_, staged, headers, toBlock) || filled != block.size())
            return ZMTAGIO_E_FAIL;
        const Patch patch{headers.replaced.start, block.span()};
        return WriteInPlace(file_, {&patch, 1});
    }
    platform::File rebuilt = platform::File::CreateReplacement(target.c_str());
    HRESULT hr = rebuilt.IsOpen() ? WriteOGG(rebuilt, headers) : ZMTAGIO_E_FAIL;
    return hr == ZMTAGIO_S_OK ? PutInPlace(rebuilt, target) : hr;
}

// Takes the file for the update: held against every other update, and still
// the file MDInit read. A file the user may not replace is not changed at
// all, whether the change would fit in place or not.
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

// The rebuilt file, complete, takes the source's place; until then nothing
// is left of it if the update fails or is killed.
HRESULT CzmTagIO::PutInPlace(platform::File& rebuilt, const std::string& target) {
    if (!rebuilt.Flush() || !rebuilt.TakePermissionsOf(target.c_str())) return ZMTAGIO_E_FAIL;
    platform::TraceLine("MDUpdate OK, write back into file");
    if (!rebuilt.ReplaceTarget(target.c_str(), &file_)) {
        platform::TraceLine("Can't MoveFile File");
        return ZMTAGIO_E_FAIL;
    }
    return ZMTAGIO_S_OK;
}

// The header of a Windows Media file is changed in place by its writer, which
// opens the file itself; a file it cannot open fails the update as a file
// that cannot be held does.
HRESULT CzmTagIO::WriteWM() {
    HRESULT hr = wm::WriteWMIntoFile(*record_, wm_, SourcePath(), 0);
    return hr == wm::kWMCannotOpen ? ZMTAGIO_E_FAIL : hr;
}

// MP3 and Ogg files get new tag blocks, in place or by a rebuild.
HRESULT CzmTagIO::WriteBack() {
    std::string target = platform::FollowLinks(SourcePath());
    HRESULT hr = HoldForUpdate(target);
    if (hr != ZMTAGIO_S_OK) return hr;
    return record_->hasID3v1 || record_->hasID3v2 ? UpdateMP3(target) : UpdateOGG(target);
}

// A failed update leaves the record, the staged edits and the file as they
// were, and may be tried again. A rewrite that succeeded reads the file again
// into the same record, so that every pointer the host reads is good; a
// Windows Media record already holds what was written.
HRESULT STDMETHODCALLTYPE CzmTagIO::MDUpdate(LONG) {
    platform::TraceLine("MDUpdate Start");
    if (!record_ || source_.empty()) return ZMTAGIO_E_FAIL;
    MDRecord& record = *record_;
    bool rewrite = record.hasID3v1 || record.hasID3v2 || record.isOgg;
    // The writers may mark the record (the ID3v2 header flags they wrote).
    const MDRecord before = record;
    HRESULT hr = rewrite ? WriteBack() : WriteWM();
    file_.Close();
    if (hr != ZMTAGIO_S_OK) {
        record = before;
        return hr;
    }
    if (!rewrite) return hr;
    platform::TraceLine("MDUpdate Write back ok");
    ReadAgain();
    return ZMTAGIO_S_OK;
}

}  // namespace zm
