// How a file's tags are printed: one JSON object per line, or lines for a
// person at a terminal.
#pragma once

#include <string>

#include "Fields.h"
#include "zmTagIO.h"

namespace zmtagio {

// Appends the file's object, without a newline. The record may be null (a failed
// read): the object then says so by its result and holds no fields. The list
// is the caller's, kept from file to file. With allHex every value has its
// bytes in hexadecimal, not only those the text cannot show.
void AppendJsonLine(std::string& out, const std::string& path, HRESULT hr, const MDRecord* record, uint32_t codePage,
                    FieldList& fields, bool allHex);
std::string TextReport(const std::string& path, HRESULT hr, const MDRecord* record, uint32_t codePage);
// "path: ID3v2.3, ID3v1", or the failure.
std::string SummaryLine(const std::string& path, HRESULT hr, const MDRecord* record);
void AppendSummaryLine(std::string& line, const std::string& path, HRESULT hr, const MDRecord* record,
                       const std::string* oggCodec = nullptr);

}  // namespace zmtagio
