#include "record.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "fw/string.h"

namespace host {
namespace {

std::vector<RecordLayout> MakeLayouts() {
    std::vector<RecordLayout> layouts;
    // marvesk: the AddressPair, two signed 32-bit addresses.
    layouts.push_back({"marvesk",
                       8,
                       {{"source", 0, 4, FieldKind::Int32}, {"target", 4, 4, FieldKind::Int32}},
                       {{0, 8}}});
    // pelorin: the DeviceRecord. 0x88 and everything after 0xB4 belong to the host; 456 holds
    // the host tag database pointer.
    layouts.push_back({"pelorin",
                       512,
                       {{"node", 0x00, 32, FieldKind::Text},
                        {"server", 0x20, 80, FieldKind::Text},
                        {"group", 0x70, 16, FieldKind::Text},
                        {"version", 0x80, 4, FieldKind::Int32},
                        {"refresh", 0x84, 4, FieldKind::UInt32},
                        {"mode", 0x8C, 4, FieldKind::Int32},
                        {"reconnect", 0x90, 4, FieldKind::UInt32},
                        {"clsid", 0x94, 16, FieldKind::Guid},
                        {"category", 0xA4, 16, FieldKind::Guid},
                        {"tagdb", 456, 4, FieldKind::Pointer}},
                       {{0x00, 0x88}, {0x8C, 0xB4}}});
    return layouts;
}

bool ParseInt64(const std::string& text, long long& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return end && *end == '\0';
}

std::string AnsiFromUtf8(const std::string& utf8) {
    return fw::ToAnsi(fw::Utf8ToWide(utf8).c_str());
}

std::string Utf8FromAnsi(const std::string& ansi) {
    return fw::WideToUtf8(fw::ToWide(ansi.c_str()));
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

const FieldSpec* RecordLayout::Field(const std::string& name) const {
    for (const FieldSpec& field : fields)
        if (name == field.name)
            return &field;
    return nullptr;
}

bool RecordLayout::PluginMayWrite(size_t offset) const {
    for (const ByteRange& range : pluginOwned)
        if (offset >= range.begin && offset < range.end)
            return true;
    return false;
}

const RecordLayout* RecordLayout::ForPlugin(const std::string& plugin) {
    static const std::vector<RecordLayout> layouts = MakeLayouts();
    for (const RecordLayout& layout : layouts)
        if (plugin == layout.plugin)
            return &layout;
    return nullptr;
}

Record::Record(const RecordLayout& layout) : layout_(&layout), buffer_(layout.size + 2 * kGuard) {
    // A recognisable pattern in every byte, so that a stray write shows.
    for (size_t i = 0; i < buffer_.size(); ++i)
        buffer_[i] = static_cast<unsigned char>(0xC3 + i * 29);
}

bool Record::SetField(const std::string& name, const FieldValue& value, std::string& error) {
    const FieldSpec* field = layout_->Field(name);
    if (!field) {
        error = "unknown field '" + name + "' for " + layout_->plugin;
        return false;
    }
    unsigned char* at = Data() + field->offset;
    switch (field->kind) {
    case FieldKind::Int32:
    case FieldKind::UInt32: {
        long long number = 0;
        const bool isSigned = field->kind == FieldKind::Int32;
        if (value.quoted || !ParseInt64(value.text, number) ||
            number < (isSigned ? -2147483648LL : 0) ||
            number > (isSigned ? 2147483647LL : 4294967295LL)) {
            error = "field '" + name + "' needs a " + (isSigned ? "signed" : "unsigned") +
                    " 32-bit decimal number, not '" + value.text + "'";
            return false;
        }
        const uint32_t bits = static_cast<uint32_t>(number);
        std::memcpy(at, &bits, 4);
        return true;
    }
    case FieldKind::Text: {
        if (!value.quoted) {
            error = "field '" + name + "' needs a quoted text";
            return false;
        }
        const std::string ansi = AnsiFromUtf8(value.text);
        std::memset(at, 0, field->width);
        std::memcpy(at, ansi.data(), ansi.size() < field->width ? ansi.size() : field->width);
        return true;
    }
    case FieldKind::Guid:
        if (value.quoted || !ParseGuid(value.text, at)) {
            error = "field '" + name + "' needs a GUID in braces, not '" + value.text + "'";
            return false;
        }
        return true;
    case FieldKind::Pointer:
        error = "field '" + name + "' is set by the host";
        return false;
    }
    return false;
}

void Record::SetPointer(const std::string& name, const void* pointer) {
    if (const FieldSpec* field = layout_->Field(name))
        if (field->kind == FieldKind::Pointer)
            std::memcpy(Data() + field->offset, &pointer, 4);
}

std::string Record::FieldText(const std::string& name) const {
    const FieldSpec* field = layout_->Field(name);
    if (!field)
        return std::string();
    const unsigned char* at = Data() + field->offset;
    switch (field->kind) {
    case FieldKind::Int32: {
        int32_t v;
        std::memcpy(&v, at, 4);
        return std::to_string(v);
    }
    case FieldKind::UInt32:
    case FieldKind::Pointer: {
        uint32_t v;
        std::memcpy(&v, at, 4);
        return std::to_string(v);
    }
    case FieldKind::Text:
        return Quote(TextValue(name));
    case FieldKind::Guid:
        return FormatGuid(at);
    }
    return std::string();
}

std::string Record::TextValue(const std::string& name) const {
    const FieldSpec* field = layout_->Field(name);
    if (!field || field->kind != FieldKind::Text)
        return std::string();
    const unsigned char* at = Data() + field->offset;
    size_t length = 0;
    while (length < field->width && at[length] != 0)
        ++length;
    return Utf8FromAnsi(std::string(reinterpret_cast<const char*>(at), length));
}

bool Record::FieldEquals(const std::string& name, const FieldValue& expected,
                         std::string& error) const {
    const FieldSpec* field = layout_->Field(name);
    if (!field) {
        error = "unknown field '" + name + "' for " + layout_->plugin;
        return false;
    }
    const std::string actual = FieldText(name);
    bool same = false;
    if (field->kind == FieldKind::Text) {
        same = expected.quoted && actual == Quote(expected.text);
    } else if (field->kind == FieldKind::Guid) {
        unsigned char want[16];
        same = !expected.quoted && ParseGuid(expected.text, want) &&
               std::memcmp(want, Data() + field->offset, 16) == 0;
    } else {
        same = !expected.quoted && actual == expected.text;
    }
    if (!same)
        error = "field " + name + " is " + actual + ", expected " +
                (expected.quoted ? Quote(expected.text) : expected.text);
    return same;
}

std::vector<long> Record::ForeignChanges(const Record& before) const {
    std::vector<long> changed;
    for (size_t i = 0; i < buffer_.size(); ++i) {
        const long offset = static_cast<long>(i) - static_cast<long>(kGuard);
        const bool inRecord = offset >= 0 && static_cast<size_t>(offset) < layout_->size;
        if (inRecord && layout_->PluginMayWrite(static_cast<size_t>(offset)))
            continue;
        if (buffer_[i] != before.buffer_[i])
            changed.push_back(offset);
    }
    return changed;
}

std::string Record::RawHex() const {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < layout_->size; ++i) {
        hex += digits[Data()[i] >> 4];
        hex += digits[Data()[i] & 15];
    }
    return hex;
}

bool Record::SetRawHex(const std::string& hex) {
    if (hex.size() != layout_->size * 2)
        return false;
    std::vector<unsigned char> bytes(layout_->size);
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned value = 0;
        if (std::sscanf(hex.c_str() + 2 * i, "%2x", &value) != 1)
            return false;
        bytes[i] = static_cast<unsigned char>(value);
    }
    std::memcpy(Data(), bytes.data(), bytes.size());
    return true;
}

bool ParseGuid(const std::string& text, unsigned char out[16]) {
    unsigned long d1;
    unsigned d2, d3, b[8];
    char close = 0;
    if (text.size() != 38 ||
        std::sscanf(text.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x%c", &d1, &d2, &d3, &b[0],
                    &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &close) != 12 ||
        close != '}')
        return false;
    const uint32_t data1 = static_cast<uint32_t>(d1);
    const uint16_t data2 = static_cast<uint16_t>(d2), data3 = static_cast<uint16_t>(d3);
    std::memcpy(out, &data1, 4);
    std::memcpy(out + 4, &data2, 2);
    std::memcpy(out + 6, &data3, 2);
    for (int i = 0; i < 8; ++i)
        out[8 + i] = static_cast<unsigned char>(b[i]);
    return true;
}

std::string FormatGuid(const unsigned char bytes[16]) {
    uint32_t d1;
    uint16_t d2, d3;
    std::memcpy(&d1, bytes, 4);
    std::memcpy(&d2, bytes + 4, 2);
    std::memcpy(&d3, bytes + 6, 2);
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(d1), d2, d3, bytes[8], bytes[9], bytes[10], bytes[11],
                  bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

} // namespace host
