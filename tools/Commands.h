// The four commands, each given its parsed options; each returns the exit
// status: 0 success, 1 when any file failed. Bad usage (2) is found before.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Host.h"

namespace zmtagio {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Settings every reading and writing command shares.
struct CommonOptions {
    Language language;
    std::optional<uint32_t> codePage;      // of 8-bit tag text
    std::optional<uint32_t> hostCodePage;  // of Windows Media values and paths
    bool trace = false;
};

struct ShowOptions {
    CommonOptions common;
    bool json = false;
    bool hex = false;  // the bytes of every value, not only of those that are not text
    std::vector<std::string> files;
};

// One value to set: a common name ("title", ...) or, from --field, a frame
// id, Ogg name or Windows Media attribute; in command-line order.
struct FieldRequest {
    std::string name;
    std::string value;
    bool common = false;
};

struct SetOptions {
    CommonOptions common;
    std::vector<std::string> files;  // files and folders
    unsigned jobs = 0;                // 0: one per processor
    bool id3v1 = false;
    std::vector<FieldRequest> requests;
};

struct RemoveOptions {
    std::vector<std::string> files;  // files and folders
    unsigned jobs = 0;                // 0: one per processor
    std::vector<LONG> kinds;
};

struct ScanOptions {
    bool json = false;
    bool hex = false;
    unsigned jobs = 0;  // 0: one per processor
    std::vector<std::string> folders;
};

int RunShow(const ShowOptions& options);
int RunSet(const SetOptions& options);
int RunRemove(const RemoveOptions& options);
int RunScan(const ScanOptions& options);

// Shared by the commands.
bool ApplyCommonOptions(const CommonOptions& options);
uint32_t CurrentCodePage();
void PrintError(const std::string& message);
std::unique_ptr<TagSession> CreateSession();

}  // namespace zmtagio
