#include "messages.h"

#include <vector>

#include "fw/resources.h"

namespace tabulo {

std::wstring FormatText(UINT id, std::initializer_list<std::wstring> inserts) {
    try {
        std::wstring format;
        if (!fw::LoadChainString(id, format)) {
            // Only when the resources are missing: still say what happened.
            format = L"Database library message " + std::to_wstring(id);
            for (size_t i = 1; i <= inserts.size(); ++i)
                format += L" %" + std::to_wstring(i);
        }
        std::vector<DWORD_PTR> arguments;
        for (const std::wstring& insert : inserts)
            arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                FORMAT_MESSAGE_ALLOCATE_BUFFER,
            format.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&text), 0,
            arguments.empty() ? nullptr : reinterpret_cast<va_list*>(arguments.data()));
        if (!length || !text)
            return format;
        std::wstring result(text, length);
        LocalFree(text);
        return result;
    } catch (...) {
        return std::wstring();
    }
}

} // namespace tabulo
