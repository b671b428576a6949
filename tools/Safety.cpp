#include "Safety.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "OggComments.h"

namespace zmtagio {
namespace {

constexpr size_t kHeadSize = 12;
constexpr mode_t kPermissionBits = 07777;

struct Signature {
    size_t offset;
    std::string_view bytes;
    const char* kind;
};

constexpr Signature kContainers[] = {
    {0, "OggS", "Ogg"},
    {0, "fLaC", "FLAC"},
    {0, "RIFF", "RIFF/WAV"},
    {0, "RIFX", "RIFF/WAV"},
    {0, "RF64", "RIFF/WAV"},
    {4, "ftyp", "MP4"},
    {0, std::string_view("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8), "ASF"},
    {0, "FORM", "AIFF"},
    {0, "\x1A\x45\xDF\xA3", "Matroska"},
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

std::string ReadHead(const std::string& path) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return {};
    char head[kHeadSize];
    size_t got = std::fread(head, 1, sizeof head, file.get());
    return std::string(head, got);
}

}  // namespace

std::optional<std::string> ContainerKind(const std::string& path) {
    std::string head = ReadHead(path);
    for (const Signature& signature : kContainers)
        if (head.size() >= signature.offset + signature.bytes.size() &&
            std::string_view(head).substr(signature.offset, signature.bytes.size()) == signature.bytes)
            return signature.kind;
    return std::nullopt;
}

// Ogg files of other codecs, and Ogg Vorbis or Opus files whose header pages
// the component does not take, are not tagged: an ID3v2 tag in front would
// break them, and their comments are not the component's to change.
std::string RefusalForOgg(const std::string& path, const MDRecord& record) {
    if (record.isOgg || ContainerKind(path) != "Ogg") return {};
    std::string codec = OggCodec(path);
    if (codec == "Vorbis" || codec == "Opus")
        return "its Ogg " + codec + " header pages cannot be read whole (damaged, several streams, or comments over 32 MB)";
    return "it is an Ogg file of " + (codec == "an unknown codec" ? codec : "the codec " + codec) +
           "; only Ogg Vorbis and Ogg Opus comments are written";
}

std::string RefusalForSet(const std::string& path, const MDRecord& record) {
    TagFamily family = FamilyOf(record);
    if (family == TagFamily::WM)
        return WMValuesRead(record) ? std::string() : "its Windows Media attributes could not be read";
    if (std::string ogg = RefusalForOgg(path, record); !ogg.empty()) return ogg;
    if (family == TagFamily::Ogg || record.hasID3v2) return {};
    if (std::optional<std::string> kind = ContainerKind(path))
        return "it is a " + *kind + " file; an ID3v2 tag in front of it would break it";
    return {};
}

PermissionGuard::PermissionGuard(const std::string& path) : path_(path) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0) mode_ = info.st_mode & kPermissionBits;
}

bool PermissionGuard::Restore() const {
    struct stat info;
    if (!mode_ || ::stat(path_.c_str(), &info) != 0) return false;
    if ((info.st_mode & kPermissionBits) == *mode_) return true;
    return ::chmod(path_.c_str(), *mode_) == 0;
}

}  // namespace zmtagio
