// The tag session: the object behind IzmTagIO. It owns the record it shares
// with the host and every buffer a field may point at. The COM shell adds the
// IUnknown part (reference counting, aggregation).
#pragma once

#include <memory>
#include <span>
#include <string>

#include "id3/ID3.h"
#include "ogg/Ogg.h"
#include "platform/Bytes.h"
#include "platform/File.h"
#include "platform/FileRange.h"
#include "platform/GrowBuffer.h"
#include "wm/WM.h"
#include "zmTagIO.h"

namespace zm {

inline constexpr int kTagKinds = 10;

// The name of a field for a kind of tag, as the formats' tables spell it.
const char* FieldName(int kind, int id);
// Whether the reader holds the field in the internal text form.
bool IsConvertedField(int kind, int id);

class CzmTagIO : public IzmTagIO {
public:
    CzmTagIO();
    // Frees what MDUninit would have freed, so a host that forgets it leaks nothing.
    virtual ~CzmTagIO();
    CzmTagIO(const CzmTagIO&) = delete;
    CzmTagIO& operator=(const CzmTagIO&) = delete;

    HRESULT STDMETHODCALLTYPE MDInit(ULONG presetSize, const char* path, MDRecord** out,
                                     const char* commentLanguage, LONG reserved) override;
    HRESULT STDMETHODCALLTYPE MDEditField(LONG id, MDField* value, LONG kind,
                                          const char* commentLanguage, LONG reserved1,
                                          LONG reserved2) override;
    HRESULT STDMETHODCALLTYPE MDRemoveTag(LONG kind, LONG reserved) override;
    HRESULT STDMETHODCALLTYPE MDUpdate(LONG reserved) override;
    HRESULT STDMETHODCALLTYPE MDUninit() override;

private:
    void Reset();
    void KeepRecordBlock();
    std::unique_ptr<MDRecord> FreshRecord();
    bool KeepSource(const char* path, const char* commentLanguage);
    const char* SourcePath() const { return reinterpret_cast<const char*>(source_.data()); }
    HRESULT Read(ULONG presetSize, MDRecord** out);
    HRESULT ReadSource(ULONG presetSize, MDRecord** out);
    void ReadAgain();
    HRESULT ReadTagBlocks(MDRecord** out);
    HRESULT EditWMField(int id, const MDField& value);
    HRESULT WriteWM();
    HRESULT WriteBack();
    HRESULT HoldForUpdate(const std::string& target);
    HRESULT UpdateMP3(const std::string& target);
    HRESULT UpdateOGG(const std::string& target);
    HRESULT WriteMP3(platform::File& out, std::span<const uint8_t> id3v2, std::span<const uint8_t> id3v1);
    HRESULT WriteOGG(platform::File& out, const ogg::NewHeaderPages& headers);
    HRESULT PutInPlace(platform::File& rebuilt, const std::string& target);
    HRESULT CopyFileRange(platform::File& source, platform::File& destination, uint64_t start,
                          uint64_t end);

    std::unique_ptr<MDRecord> record_;
    std::unique_ptr<MDRecord> spare_;  // the last record's block, for the next
    // The whole path and the comment language of the last MDInit: the record's
    // filePath may hold only the start of the path. Empty when no file was
    // read, so that nothing is written back.
    platform::Buffer source_;
    char language_[4] = {};
    // Session state, cleared by Reset().
    platform::File file_;
    platform::File::Stamp readStamp_;  // the file as MDInit read it
    platform::FileRange audio_;  // audioStart, audioEnd
    platform::Buffer tagBuffer_;
    id3::ID3State id3_;
    platform::GrowBuffer editedFrames_;
    platform::Buffer id3v1EditBlock_;
    ogg::OggState ogg_;
    wm::WMState wm_;
    // Survive Reset().
    uint32_t writeTag_[kTagKinds];
    uint32_t tagBlockSize_[kTagKinds] = {};
};

}  // namespace zm
