#include "device_file.h"

#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "tag_file.h"

namespace host {

bool ReadWholeFile(const std::wstring& path, std::string& content) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return false;
    content.clear();
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        content.append(buffer, got);
    std::fclose(file);
    return true;
}

bool LoadDeviceFile(const std::wstring& path, Record& record, bool& created, std::string& error,
                    TagDatabase* tags) {
    created = false;
    std::string content;
    // Without raw bytes (a new device, or a file written by hand) the fields start empty and
    // zero; the host's own bytes keep their pattern.
    auto clearFields = [&record] {
        for (const FieldSpec& field : record.Layout().fields)
            if (field.kind != FieldKind::Pointer)
                std::memset(record.Data() + field.offset, 0, field.width);
    };
    if (!ReadWholeFile(path, content)) {
        clearFields();
        created = true;
        return true;
    }
    nlohmann::json document = nlohmann::json::parse(content, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        error = "the device file is not a JSON object";
        return false;
    }
    const std::string plugin = document.value("plugin", std::string());
    if (!plugin.empty() && plugin != record.Layout().plugin) {
        error = "the device file belongs to " + plugin + ", not " + record.Layout().plugin;
        return false;
    }
    if (!document.contains("raw"))
        clearFields();
    if (document.contains("raw")) {
        if (!document["raw"].is_string() || !record.SetRawHex(document["raw"].get<std::string>())) {
            error = "\"raw\" must hold " + std::to_string(record.Layout().size * 2) + " hex digits";
            return false;
        }
    }
    if (document.contains("fields")) {
        const nlohmann::json& fields = document["fields"];
        if (!fields.is_object()) {
            error = "\"fields\" must be an object";
            return false;
        }
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            const FieldSpec* spec = record.Layout().Field(it.key());
            if (spec && spec->kind == FieldKind::Pointer)
                continue; // the host's own value, set at every run
            FieldValue value;
            if (it.value().is_string()) {
                value.text = it.value().get<std::string>();
                value.quoted = !(spec && spec->kind == FieldKind::Guid);
            } else if (it.value().is_number_integer()) {
                value.text = it.value().dump();
            } else {
                error = "field " + it.key() + " has a value of the wrong kind";
                return false;
            }
            // A field that the raw bytes already hold is left alone: its text form may not
            // carry every byte (an unterminated field, bytes that are no valid text).
            std::string differs;
            if (record.FieldEquals(it.key(), value, differs))
                continue;
            if (!record.SetField(it.key(), value, error))
                return false;
        }
    }
    if (tags && document.contains("tags") && !LoadTags(document["tags"], *tags, error))
        return false;
    return true;
}

bool SaveDeviceFile(const std::wstring& path, const Record& record, std::string& error,
                    const TagDatabase* tags) {
    nlohmann::ordered_json document;
    document["plugin"] = record.Layout().plugin;
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();
    for (const FieldSpec& field : record.Layout().fields) {
        if (field.kind == FieldKind::Pointer)
            continue;
        const std::string text = record.FieldText(field.name);
        if (field.kind == FieldKind::Text)
            fields[field.name] = record.TextValue(field.name);
        else if (field.kind == FieldKind::Guid)
            fields[field.name] = text;
        else
            fields[field.name] = std::stoll(text);
    }
    document["fields"] = fields;
    document["raw"] = record.RawHex();
    if (tags && !tags->Committed().empty())
        document["tags"] = WriteTags(tags->Committed());
    const std::string content = document.dump(2) + "\n";
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) {
        error = "cannot write the device file";
        return false;
    }
    const bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    std::fclose(file);
    if (!ok)
        error = "cannot write the device file";
    return ok;
}

} // namespace host
