#include "tag_file.h"

#include <windows.h>

#include <cstdint>
#include <limits>

namespace host {
namespace {

bool ReadText(const nlohmann::json& object, const char* key, bool required, std::string& out,
              std::string& error) {
    if (!object.contains(key)) {
        if (required)
            error = std::string("\"") + key + "\" is missing";
        return !required;
    }
    if (!object[key].is_string()) {
        error = std::string("\"") + key + "\" must be a text";
        return false;
    }
    // A text the code page cannot hold would come back altered: refuse it rather than lose it.
    const std::wstring wide = fw::Utf8ToWide(object[key].get<std::string>());
    BOOL lossy = FALSE;
    const int bytes =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    if (lossy || (bytes == 0 && !wide.empty())) {
        error = std::string("\"") + key + "\" has characters the ANSI code page cannot hold";
        return false;
    }
    out = fw::ToAnsi(wide.c_str());
    return true;
}

bool ReadNumber(const nlohmann::json& object, const char* key, int32_t& out, std::string& error) {
    if (!object.contains(key))
        return true;
    const nlohmann::json& value = object[key];
    if (!value.is_number_integer() ||
        value.get<long long>() < std::numeric_limits<int32_t>::min() ||
        value.get<long long>() > std::numeric_limits<int32_t>::max()) {
        error = std::string("\"") + key + "\" must be a 32-bit whole number";
        return false;
    }
    out = static_cast<int32_t>(value.get<long long>());
    return true;
}

bool ReadLink(const nlohmann::json& object, LinkData& link, std::string& error) {
    if (!object.is_object()) {
        error = "a link must be an object";
        return false;
    }
    return ReadText(object, "parameter", true, link.parameter, error) &&
           ReadText(object, "item", true, link.item, error) &&
           ReadNumber(object, "dataType", link.dataType, error) &&
           ReadNumber(object, "badValue", link.badValue, error) &&
           ReadNumber(object, "showValue", link.showValue, error) &&
           ReadNumber(object, "readWrite", link.readWrite, error);
}

bool ReadTag(const nlohmann::json& object, TagData& tag, std::string& error) {
    if (!object.is_object()) {
        error = "must be an object";
        return false;
    }
    if (!ReadText(object, "name", true, tag.name, error) ||
        !ReadText(object, "description", false, tag.description, error))
        return false;
    if (object.contains("hidden")) {
        if (!object["hidden"].is_boolean()) {
            error = "\"hidden\" must be true or false";
            return false;
        }
        tag.hidden = object["hidden"].get<bool>();
    }
    if (object.contains("links")) {
        if (!object["links"].is_array()) {
            error = "\"links\" must be an array";
            return false;
        }
        for (const nlohmann::json& item : object["links"]) {
            LinkData link;
            if (!ReadLink(item, link, error))
                return false;
            tag.links.push_back(link);
        }
    }
    return true;
}

} // namespace

std::string AnsiFromUtf8(const std::string& utf8) {
    return fw::ToAnsi(fw::Utf8ToWide(utf8).c_str());
}

std::string Utf8FromAnsi(const std::string& ansi) {
    return fw::WideToUtf8(fw::ToWide(ansi.c_str()));
}

bool ReadTags(const nlohmann::json& array, std::vector<TagData>& tags, std::string& error) {
    if (!array.is_array()) {
        error = "\"tags\" must be an array";
        return false;
    }
    std::vector<TagData> read;
    for (size_t i = 0; i < array.size(); ++i) {
        TagData tag;
        std::string why;
        if (!ReadTag(array[i], tag, why)) {
            error = "tag " + std::to_string(i + 1) + ": " + why;
            return false;
        }
        read.push_back(tag);
    }
    tags.swap(read);
    return true;
}

bool LoadTags(const nlohmann::json& array, TagDatabase& database, std::string& error) {
    std::vector<TagData> tags;
    std::string why;
    if (!ReadTags(array, tags, why) || !database.Load(tags, why)) {
        error = "\"tags\": " + why;
        return false;
    }
    return true;
}

nlohmann::ordered_json WriteTags(const std::vector<TagData>& tags) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const TagData& tag : tags) {
        nlohmann::ordered_json object;
        object["name"] = Utf8FromAnsi(tag.name);
        object["description"] = Utf8FromAnsi(tag.description);
        object["hidden"] = tag.hidden;
        nlohmann::ordered_json links = nlohmann::ordered_json::array();
        for (const LinkData& link : tag.links) {
            nlohmann::ordered_json entry;
            entry["parameter"] = Utf8FromAnsi(link.parameter);
            entry["item"] = Utf8FromAnsi(link.item);
            entry["dataType"] = link.dataType;
            entry["badValue"] = link.badValue;
            entry["showValue"] = link.showValue;
            entry["readWrite"] = link.readWrite;
            links.push_back(entry);
        }
        object["links"] = links;
        array.push_back(object);
    }
    return array;
}

} // namespace host
