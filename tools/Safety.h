// What `set` and `remove` promise about the files they change: files the
// component cannot tag safely are refused, permission bits are kept.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "Fields.h"

namespace zmtagio {

// "Ogg", "FLAC", "RIFF/WAV", ... by the file's first bytes; nothing for a file
// of no known container kind.
std::optional<std::string> ContainerKind(const std::string& path);

// Why the file must not be changed; empty when it may be. A file without an
// ID3v2 tag gets one in front when MP3 fields are set.
std::string RefusalForSet(const std::string& path, const MDRecord& record);
std::string RefusalForOgg(const std::string& path, const MDRecord& record);

// Remembers the permission bits before a rewrite and puts them back after.
class PermissionGuard {
public:
    explicit PermissionGuard(const std::string& path);
    // False when the bits differ and cannot be put back.
    bool Restore() const;

private:
    std::string path_;
    std::optional<mode_t> mode_;
};

}  // namespace zmtagio
