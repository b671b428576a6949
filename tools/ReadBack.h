// After a write the file is read again: a change that did not reach it is an
// error, never a silent success.
#pragma once

#include <string>
#include <vector>

#include "OggComments.h"
#include "Plan.h"

namespace zmtagio {

// The first edit the record does not show, as a message; empty when all do.
std::string MissingEdit(const MDRecord& record, const std::vector<Edit>& edits, uint32_t codePage);

// The rewrite of an Ogg file kept every entry it was not asked to change, in
// its place: empty when it did, else a message.
std::string ChangedOggEntry(const std::string& path, const std::vector<OggEntry>& before,
                            const std::vector<Edit>& edits);

// Ogg comments count when the file has any entry, of any name.
bool HasTag(const std::string& path, const MDRecord& record, LONG kind);
const char* TagName(LONG kind);

}  // namespace zmtagio
