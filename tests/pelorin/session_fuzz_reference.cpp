#include "session_fuzz_reference.h"

#include <climits>
#include <sstream>

namespace fuzz {
namespace {

bool Inside(size_t size, unsigned long long offset, unsigned long long length) {
    return offset <= size && length <= size - offset;
}

std::string Raw(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
}

} // namespace

size_t PlainBytes(VARTYPE type) {
    switch (type) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_DECIMAL:
        return 16;
    default:
        return 0;
    }
}

const VARTYPE kPlainTypes[17] = {VT_I1,  VT_UI1, VT_I2,   VT_UI2,  VT_BOOL,   VT_I4,
                                 VT_UI4, VT_INT, VT_UINT, VT_R4,   VT_ERROR,  VT_I8,
                                 VT_UI8, VT_R8,  VT_CY,   VT_DATE, VT_DECIMAL};

// A value as quality/timestamp/type and content, the same whether it is read from a stream or
// from a record.
std::string Canonical(WORD quality, const FILETIME& time, VARTYPE type, const std::string& body) {
    std::ostringstream out;
    out << quality << '/' << time.dwLowDateTime << ':' << time.dwHighDateTime << '/' << type << '=';
    return out.str() + body;
}

std::string Describe(const pelorin::ItemValueRecord& record) {
    const VARIANT& v = record.Value();
    std::string body;
    if (v.vt == VT_BSTR) {
        body = Raw(v.bstrVal, SysStringByteLen(v.bstrVal));
    } else if (v.vt & VT_ARRAY) {
        // The bounds as stored: an empty array at INT_MIN has no upper bound a LONG can hold.
        const LONG lower = v.parray->rgsabound[0].lLbound;
        const ULONG count = v.parray->rgsabound[0].cElements;
        body = std::to_string(lower) + ".." +
               std::to_string(static_cast<long long>(lower) + count - 1);
        void* data = nullptr;
        SafeArrayAccessData(v.parray, &data);
        for (ULONG i = 0; i < count; ++i) {
            if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
                const BSTR text = static_cast<BSTR*>(data)[i];
                body += "|" + Raw(text, SysStringByteLen(text));
            } else {
                body += "|" + Raw(static_cast<BYTE*>(data) + i * v.parray->cbElements,
                                  v.parray->cbElements);
            }
        }
        SafeArrayUnaccessData(v.parray);
    } else if (v.vt == VT_DECIMAL) {
        body = Raw(reinterpret_cast<const BYTE*>(&v) + 2, 14);
    } else {
        body = Raw(&v.llVal, PlainBytes(v.vt));
    }
    return Canonical(record.Quality(), record.Timestamp(), v.vt, body);
}

std::string Derive(const std::vector<BYTE>& bytes, size_t size, size_t index) {
    const size_t header = 20 + 20 * index;
    const DWORD at = At<DWORD>(bytes, header + 4);
    const WORD quality = At<WORD>(bytes, header + 8);
    const FILETIME time = At<FILETIME>(bytes, header + 12);
    if (!Inside(size, at, 16))
        return std::string();
    const VARTYPE type = At<VARTYPE>(bytes, at);
    const VARTYPE base = type & VT_TYPEMASK;
    if (type == VT_EMPTY || type == VT_NULL)
        return Canonical(quality, time, type, "");
    if (type == VT_BSTR) {
        if (!Inside(size, at + 16ull, 4))
            return std::string();
        const DWORD length = At<DWORD>(bytes, at + 16);
        if (!Inside(size, at + 20ull, length))
            return std::string();
        return Canonical(quality, time, type, Raw(bytes.data() + at + 20, length));
    }
    if (type == base) {
        const size_t n = PlainBytes(type);
        if (!n)
            return std::string();
        return Canonical(quality, time, type,
                         type == VT_DECIMAL ? Raw(bytes.data() + at + 2, 14)
                                            : Raw(bytes.data() + at + 8, n));
    }
    if (type != (VT_ARRAY | base))
        return std::string();
    const size_t element = base == VT_BSTR ? sizeof(BSTR) : PlainBytes(base);
    if (!element || !Inside(size, at, 40) || At<USHORT>(bytes, at + 16) != 1 ||
        At<ULONG>(bytes, at + 20) != element)
        return std::string();
    const ULONG count = At<ULONG>(bytes, at + 32);
    const LONG lower = At<LONG>(bytes, at + 36);
    if (count > 0 && static_cast<long long>(lower) + count - 1 > INT_MAX)
        return std::string();
    const unsigned long long data = at + 40ull;
    if (!Inside(size, data, static_cast<unsigned long long>(count) * element))
        return std::string();
    std::string body =
        std::to_string(lower) + ".." + std::to_string(static_cast<long long>(lower) + count - 1);
    if (base != VT_BSTR) {
        for (ULONG i = 0; i < count; ++i)
            body += "|" + Raw(bytes.data() + data + i * element, element);
        return Canonical(quality, time, type, body);
    }
    unsigned long long next = data + static_cast<unsigned long long>(count) * element;
    for (ULONG i = 0; i < count; ++i) {
        if (!Inside(size, next, 4))
            return std::string();
        const DWORD length = At<DWORD>(bytes, static_cast<size_t>(next));
        if (!Inside(size, next + 4, length))
            return std::string();
        body += "|" + Raw(bytes.data() + next + 4, length);
        next += 4ull + length + 2; // characters, then the terminator
    }
    return Canonical(quality, time, type, body);
}

std::string Printable(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += '\\';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

} // namespace fuzz
