#include "sim_report.h"

#include <cstdlib>
#include <cwchar>

namespace host {

std::wstring ReportFileName(const std::wstring& progId) {
    std::wstring name = progId;
    for (wchar_t& c : name)
        if (std::wcschr(L"\\/:*?\"<>|", c))
            c = L'_';
    return name + L".txt";
}

ReportCount CountCalls(const std::string& text, const std::string& method) {
    ReportCount count;
    const std::string prefix = "calls " + method + "=";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, 7, "report ") == 0) {
            ++count.reports;
        } else if (line.compare(0, prefix.size(), prefix) == 0) {
            // The method name is matched whole: "Next=" never matches "NextBatch=".
            const std::string number = line.substr(prefix.size());
            char* rest = nullptr;
            const long calls = std::strtol(number.c_str(), &rest, 10);
            if (!number.empty() && rest && *rest == '\0' && calls >= 0)
                count.calls += calls;
        }
    }
    return count;
}

} // namespace host
