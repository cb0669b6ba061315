// The device file: a JSON document with the plug-in's record, as named fields and raw bytes.
//   {"plugin": "marvesk", "fields": {"source": 100, "target": 200}, "raw": "6400..."}
// Raw bytes are applied first, then the named fields over them.
#pragma once

#include <string>

#include "record.h"

namespace host {

class TagDatabase;

// Reads the file into `record`, and its "tags" into `tags` when given (tag_file.h). A missing file
// leaves the record at its defaults and sets `created`. False with a message when the file cannot
// be read or is malformed.
bool LoadDeviceFile(const std::wstring& path, Record& record, bool& created, std::string& error,
                    TagDatabase* tags = nullptr);
// Writes the record, and the committed tags when given and there are any.
bool SaveDeviceFile(const std::wstring& path, const Record& record, std::string& error,
                    const TagDatabase* tags = nullptr);
// Reads a whole file as bytes.
bool ReadWholeFile(const std::wstring& path, std::string& content);

} // namespace host
