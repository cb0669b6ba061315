// The tags of a device in its device file, a "tags" array beside the record:
//   "tags": [{"name": "T1", "description": "", "hidden": false,
//             "links": [{"parameter": "PV", "item": "Dev.T1", "dataType": 0, "badValue": 0,
//                        "showValue": 0, "readWrite": 0}]}]
// Texts are UTF-8 in the file and the ANSI code page in memory. Only "name" is required.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tagdb.h"

namespace host {

// False with a message naming the tag when the array is malformed; `tags` is then unchanged.
bool ReadTags(const nlohmann::json& array, std::vector<TagData>& tags, std::string& error);
nlohmann::ordered_json WriteTags(const std::vector<TagData>& tags);
// ReadTags, then the database's Load; false with a message and the database unchanged.
bool LoadTags(const nlohmann::json& array, TagDatabase& database, std::string& error);

std::string AnsiFromUtf8(const std::string& utf8);
std::string Utf8FromAnsi(const std::string& ansi);

} // namespace host
