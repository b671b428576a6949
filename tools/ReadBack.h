// After a write the file is read again: a change that did not reach it is an
// error, never a silent success.
#pragma once

#include <string>
#include <vector>

#include "Plan.h"

namespace zmtagio {

// The first edit the record does not show, as a message; empty when all do.
std::string MissingEdit(const MDRecord& record, const std::vector<Edit>& edits, uint32_t codePage);

bool HasTag(const MDRecord& record, LONG kind);
const char* TagName(LONG kind);

}  // namespace zmtagio
