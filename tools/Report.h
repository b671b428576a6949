// How a file's tags are printed: one JSON object per line, or lines for a
// person at a terminal.
#pragma once

#include <string>

#include "zmTagIO.h"

namespace zmtagio {

// The record may be null (a failed read): the object then says so by its
// result and holds no fields.
std::string JsonLine(const std::string& path, HRESULT hr, const MDRecord* record, uint32_t codePage);
std::string TextReport(const std::string& path, HRESULT hr, const MDRecord* record, uint32_t codePage);
// "path: ID3v2.3, ID3v1", or the failure.
std::string SummaryLine(const std::string& path, HRESULT hr, const MDRecord* record);

}  // namespace zmtagio
