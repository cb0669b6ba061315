// The records the host owns and hands to a plug-in: their layouts (named fields at fixed
// offsets), the bytes themselves with guard zones around them, and field access by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

enum class FieldKind { Int32, UInt32, Text, Guid, Pointer };

struct FieldSpec {
    const char* name;
    size_t offset;
    size_t width;
    FieldKind kind;
};

struct ByteRange {
    size_t begin;
    size_t end; // one past the last byte
};

struct RecordLayout {
    const char* plugin;
    size_t size;                        // bytes of the record the plug-in gets a pointer to
    std::vector<FieldSpec> fields;      // what the device file and scenarios name
    std::vector<ByteRange> pluginOwned; // the only bytes the plug-in may write

    const FieldSpec* Field(const std::string& name) const;
    bool PluginMayWrite(size_t offset) const;
    static const RecordLayout* ForPlugin(const std::string& plugin);
};

// A value as a scenario or device file states it.
struct FieldValue {
    bool quoted = false; // texts are quoted; numbers and GUIDs are not
    std::string text;    // UTF-8
};

class Record {
public:
    explicit Record(const RecordLayout& layout);

    const RecordLayout& Layout() const { return *layout_; }
    unsigned char* Data() { return buffer_.data() + kGuard; }
    const unsigned char* Data() const { return buffer_.data() + kGuard; }

    // Sets a field; a text longer than its field fills it without a terminator.
    bool SetField(const std::string& name, const FieldValue& value, std::string& error);
    // The field as the device file writes it: texts quoted (UTF-8), GUIDs in braces.
    std::string FieldText(const std::string& name) const;
    // A text field's bytes up to its NUL or width, as UTF-8.
    std::string TextValue(const std::string& name) const;
    // Compares with a scenario's expectation; GUIDs ignore case.
    bool FieldEquals(const std::string& name, const FieldValue& expected, std::string& error) const;
    void SetPointer(const std::string& name, const void* pointer);

    // Bytes the plug-in must not have changed (its guard zones included) that differ from
    // `before`, as offsets relative to the record (negative: before it).
    std::vector<long> ForeignChanges(const Record& before) const;

    std::string RawHex() const;
    bool SetRawHex(const std::string& hex);

    static constexpr size_t kGuard = 64;

private:
    const RecordLayout* layout_;
    std::vector<unsigned char> buffer_; // guard, record, guard
};

// Converts "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" to the 16-byte COM layout and back.
bool ParseGuid(const std::string& text, unsigned char out[16]);
std::string FormatGuid(const unsigned char bytes[16]);

} // namespace host
