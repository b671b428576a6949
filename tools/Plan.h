// Turning the values of `set` into the edits the component takes, each
// checked before anything is written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "Fields.h"

namespace zmtagio {

struct Edit {
    LONG kind = 0;
    int id = 0;
    std::string label;           // as printed: "TIT2", "ID3v1 title", "TITLE", "WM/Year"
    std::vector<uint8_t> value;  // the bytes handed to MDEditField
    std::string expected;        // the text a read-back must find; empty: the field is gone
    std::optional<std::string> before;  // the text before the change; absent: there was none
    bool shown = true;           // false for edits the command adds to keep a block consistent
    bool shortened = false;      // the ID3v1 block holds less than the value
};

// The edits for a record of the given family, or an error message.
struct Plan {
    std::vector<Edit> edits;
    std::string error;
};

Plan PlanEdits(const SetOptions& options, const MDRecord& record, TagFamily family, uint32_t codePage);

}  // namespace zmtagio
