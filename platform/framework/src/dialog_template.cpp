// Reading dialog templates: the item list, and which items name a COM control by class id.
// Every read is bounds-checked against the resource's size; a template that does not add up is
// rejected rather than guessed at.
#include <cstring>
#include <string>

#include "dialog_controls.h"

namespace fw {
namespace {

class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    size_t Offset() const { return offset_; }
    bool Ok() const { return ok_; }

    WORD Word() {
        WORD value = 0;
        Copy(&value, sizeof value);
        return value;
    }
    DWORD Dword() {
        DWORD value = 0;
        Copy(&value, sizeof value);
        return value;
    }
    void Skip(size_t bytes) {
        if (!ok_ || bytes > size_ - offset_)
            ok_ = false;
        else
            offset_ += bytes;
    }
    void AlignDword() { Skip((4 - offset_ % 4) % 4); }

    // A NUL-terminated UTF-16 string.
    std::wstring String() {
        std::wstring text;
        for (;;) {
            const WORD c = Word();
            if (!ok_ || c == 0)
                return text;
            text += static_cast<wchar_t>(c);
        }
    }
    // The "string or ordinal" field: none, 0xFFFF with an ordinal, or a string.
    std::wstring NameOrOrdinal() {
        if (!ok_ || offset_ + 2 > size_) {
            ok_ = false;
            return std::wstring();
        }
        WORD first;
        std::memcpy(&first, data_ + offset_, 2);
        if (first == 0) {
            Skip(2);
            return std::wstring();
        }
        if (first == 0xFFFF) {
            Skip(4);
            return std::wstring();
        }
        return String();
    }

private:
    void Copy(void* out, size_t bytes) {
        if (!ok_ || bytes > size_ - offset_) {
            ok_ = false;
            return;
        }
        std::memcpy(out, data_ + offset_, bytes);
        offset_ += bytes;
    }

    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

bool ControlClassId(const std::wstring& name, CLSID& clsid) {
    // Only the braced form: CLSIDFromString would also look program ids up in the registry.
    if (name.size() != 38 || name.front() != L'{' || name.back() != L'}')
        return false;
    return SUCCEEDED(CLSIDFromString(name.c_str(), &clsid));
}

} // namespace

bool SplitDialogTemplate(const void* data, size_t size, std::vector<BYTE>& stripped,
                         std::vector<ControlPlace>& places) {
    const auto* bytes = static_cast<const BYTE*>(data);
    places.clear();
    Reader in(bytes, size);
    const bool extended = size >= 4 && in.Word() == 1 && in.Word() == 0xFFFF;
    size_t countOffset;
    DWORD style;
    if (extended) {
        in.Skip(8); // help id, extended style
        style = in.Dword();
        countOffset = in.Offset();
    } else {
        in = Reader(bytes, size);
        style = in.Dword();
        in.Skip(4); // extended style
        countOffset = in.Offset();
    }
    const WORD count = in.Word();
    in.Skip(8);         // x, y, cx, cy
    in.NameOrOrdinal(); // menu
    in.NameOrOrdinal(); // window class
    in.String();        // caption
    if (style & DS_SETFONT) {
        in.Skip(extended ? 6 : 2); // point size (weight, italic, charset)
        in.String();               // face name
    }
    if (!in.Ok())
        return false;

    stripped.assign(bytes, bytes + in.Offset());
    WORD kept = 0;
    for (WORD item = 0; item < count; ++item) {
        in.AlignDword();
        const size_t start = in.Offset();
        ControlPlace place = {};
        short rect[4] = {};
        if (extended) {
            in.Skip(8); // help id, extended style
            place.style = in.Dword();
        } else {
            place.style = in.Dword();
            in.Skip(4);
        }
        for (short& value : rect)
            value = static_cast<short>(in.Word());
        place.id = extended ? in.Dword() : in.Word();
        const std::wstring className = in.NameOrOrdinal();
        in.NameOrOrdinal(); // title
        in.Skip(in.Word()); // creation data
        if (!in.Ok())
            return false;
        if (ControlClassId(className, place.clsid)) {
            place.units = {rect[0], rect[1], rect[0] + rect[2], rect[1] + rect[3]};
            place.keptBefore = kept;
            places.push_back(place);
            continue;
        }
        while (stripped.size() % 4)
            stripped.push_back(0);
        stripped.insert(stripped.end(), bytes + start, bytes + in.Offset());
        ++kept;
    }
    if (places.empty())
        return false;
    std::memcpy(stripped.data() + countOffset, &kept, sizeof kept);
    return true;
}

} // namespace fw
