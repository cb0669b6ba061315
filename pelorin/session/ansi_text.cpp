#include "session/ansi_text.h"

#include <windows.h>

namespace pelorin {

std::wstring AnsiToWide(const std::string& ansi) {
    if (ansi.empty())
        return std::wstring();
    const int length = static_cast<int>(ansi.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, &wide[0], needed);
    return wide;
}

std::string WideToAnsi(const wchar_t* wide) {
    if (!wide || !*wide)
        return std::string();
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1)
        return std::string();
    std::string ansi(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, &ansi[0], needed, nullptr, nullptr);
    ansi.pop_back(); // the terminator the call wrote
    return ansi;
}

const char* NextAnsiChar(const char* text) {
    if (!*text)
        return text;
    if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(*text)) && text[1])
        return text + 2;
    return text + 1;
}

const char* FindAnsiChar(const char* text, char c) {
    for (; *text; text = NextAnsiChar(text))
        if (*text == c)
            return text;
    return nullptr;
}

} // namespace pelorin
