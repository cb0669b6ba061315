#include "report_directory.h"

#include <windows.h>

#include <cstdio>

namespace simtest {

ReportDirectory::ReportDirectory(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path_.c_str(), nullptr);
    Clear(); // what an earlier process of the same id left
    SetEnvironmentVariableW(L"OPCSIM_REPORT_DIR", path_.c_str());
}

ReportDirectory::~ReportDirectory() {
    SetEnvironmentVariableW(L"OPCSIM_REPORT_DIR", nullptr);
    Clear();
    RemoveDirectoryW(path_.c_str());
}

void ReportDirectory::Clear() const {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path_ + L"\\*.txt").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
}

std::wstring ReportDirectory::File(const std::wstring& progId) const {
    return path_ + L"\\" + progId + L".txt";
}

std::string ReportDirectory::Report(const std::wstring& progId) const {
    FILE* in = _wfopen(File(progId).c_str(), L"rb");
    if (!in)
        return std::string();
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        text.append(buffer, got);
    std::fclose(in);
    return text;
}

} // namespace simtest
