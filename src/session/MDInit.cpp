// Opening a file: reset, a fresh record, the format decision and the readers.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/Trace.h"
#include "session/CzmTagIO.h"

namespace zm {
namespace {

constexpr uint8_t kASFSignature[4] = {0x30, 0x26, 0xB2, 0x75};
constexpr uint32_t kPresetWords[4] = {15, 15, 15, 2};
constexpr char kNoLanguage[4] = {};

}  // namespace

HRESULT STDMETHODCALLTYPE CzmTagIO::MDInit(ULONG presetSize, const char* path, MDRecord** out,
                                           const char* commentLanguage, LONG) {
    Reset();
    KeepRecordBlock();
    source_.Reset();
    record_ = FreshRecord();
    platform::TraceLine("MDInit %s", path ? path : "");
    if (!record_) return ZMTAGIO_E_OUTOFMEMORY;
    // A path the system's file calls cannot take is refused here.
    if (path == nullptr || strnlen(path, platform::kPathLimit + 1) > platform::kPathLimit) return ZMTAGIO_E_FAIL;
    if (!KeepSource(path, commentLanguage)) return ZMTAGIO_E_OUTOFMEMORY;
    return Read(presetSize, out);
}

// A host reads file after file: the block of one file's record serves the
// next, so that reading a file allocates no record and the host finds it in
// the cache.
void CzmTagIO::KeepRecordBlock() {
    if (record_) spare_ = std::move(record_);
}

std::unique_ptr<MDRecord> CzmTagIO::FreshRecord() {
    std::unique_ptr<MDRecord> record = std::move(spare_);
    if (!record) return std::unique_ptr<MDRecord>(new (std::nothrow) MDRecord());
    *record = MDRecord{};
    return record;
}

bool CzmTagIO::KeepSource(const char* path, const char* commentLanguage) {
    size_t length = std::strlen(path);
    if (!source_.Allocate(length + 1)) return false;
    std::memcpy(source_.data(), path, length);
    std::memcpy(language_, commentLanguage ? commentLanguage : kNoLanguage, sizeof language_);
    return true;
}

// A file whose read failed is not written back: its record is incomplete.
HRESULT CzmTagIO::Read(ULONG presetSize, MDRecord** out) {
    HRESULT hr = ReadSource(presetSize, out);
    if (hr < 0) source_.Reset();
    return hr;
}

// After a rewrite the record shows the file as written. It is read again in
// the same block, so the address the host holds stays good; should that read
// fail, the record is left empty.
void CzmTagIO::ReadAgain() {
    Reset();
    *record_ = MDRecord{};
    platform::TraceLine("MDInit %s", SourcePath());
    if (Read(0, nullptr) >= 0) return;
    Reset();
    *record_ = MDRecord{};
}

HRESULT CzmTagIO::ReadSource(ULONG presetSize, MDRecord** out) {
    const char* path = SourcePath();
    // Only a regular file opens: a folder, a FIFO or a device fails here at
    // once and is never written.
    file_ = platform::File::Open(path, platform::File::Mode::Read);
    if (!file_.IsOpen() || !file_.GetStamp(readStamp_)) {
        file_.Close();
        return ZMTAGIO_E_FAIL;
    }
    MDRecord& record = *record_;
    std::copy(std::begin(kPresetWords), std::end(kPresetWords), record.presetWords);
    // As much of the path as fits; a path of 260 bytes or more has no
    // terminator there.
    std::memcpy(record.filePath, path, strnlen(path, sizeof record.filePath));
    // Sizes and offsets are 64-bit throughout, so files of 4 GiB and more are
    // measured and copied whole.
    int64_t size = file_.Size();
    if (size < 0) {
        file_.Close();
        return ZMTAGIO_E_FAIL;
    }
    audio_.end = uint64_t(size);

    uint32_t tagSize = presetSize;
    if (presetSize != 0) {
        platform::TraceLine("MDInit GetSize=%ld", long(presetSize));
    } else {
        // A read that fails says nothing about the file's tags: taken for an
        // untagged file, it would have them written a second time.
        uint8_t signature[4];
        const int64_t signatureSize = int64_t(sizeof signature);
        int64_t got = file_.Read(signature);
        if (got != std::min(size, signatureSize)) {
            file_.Close();
            return ZMTAGIO_E_FAIL;
        }
        if (got == signatureSize && std::memcmp(signature, kASFSignature, 4) == 0) {
            record.isASF = 1;
        } else {
            id3::TagBlocks blocks;
            tagSize = id3::ProbeID3Tags(file_, record, blocks, audio_);
            if (blocks.failed) {
                file_.Close();
                return ZMTAGIO_E_FAIL;
            }
            tagBlockSize_[MD_KIND_ID3V1] = blocks.id3v1;
            tagBlockSize_[MD_KIND_ID3V2] = blocks.id3v2;
            if (tagSize == 0) tagSize = ogg::GetOGGTagSize(file_, record, ogg_);
            if (ogg_.unreadable) {
                file_.Close();
                return ZMTAGIO_E_FAIL;
            }
            if (tagSize == 0) platform::TraceLine("MDInit GetSize=%ld", 0L);
        }
        if (tagSize == 0) {
            // An Ogg file whose recognised comments are all empty still has
            // its comment page read, for the writer, into no block: its
            // empty fields point nowhere.
            if (record.isOgg) {
                tagBuffer_.Reset();
                HRESULT hr = ReadTagBlocks(out);
                file_.Close();
                return hr;
            }
            if (record.isASF) wm::ReadWMFromFile(record, wm_, path, file_, out);
            file_.Close();
            if (out) *out = &record;
            return ZMTAGIO_S_FALSE;
        }
    }

    if (!tagBuffer_.Reuse(tagSize)) {
        file_.Close();
        return ZMTAGIO_E_OUTOFMEMORY;
    }
    record.tagBuffer = tagBuffer_.data();
    HRESULT hr = ReadTagBlocks(out);
    file_.Close();
    return hr;
}

HRESULT CzmTagIO::ReadTagBlocks(MDRecord** out) {
    MDRecord& record = *record_;
    uint8_t* cursor = tagBuffer_.data();
    if (record.hasID3v1) {
        if (id3::ReadID3V1FromFile(file_, record, cursor) < 0) return ZMTAGIO_E_FAIL;
        cursor += tagBlockSize_[MD_KIND_ID3V1];
    }
    if (record.hasID3v2) {
        if (id3::ReadID3V2FromFile(file_, record, id3_, cursor, tagBlockSize_[MD_KIND_ID3V2],
                                   language_, audio_) < 0)
            return ZMTAGIO_E_FAIL;
        cursor += tagBlockSize_[MD_KIND_ID3V2];
    }
    if (record.isOgg) {
        std::span<uint8_t> rest(cursor, tagBuffer_.data() + tagBuffer_.size() - cursor);
        if (ogg::ReadOGGFromFile(file_, record, ogg_, rest, audio_) < 0) return ZMTAGIO_E_FAIL;
    }
    if (out) *out = &record;
    return ZMTAGIO_S_OK;
}

}  // namespace zm
