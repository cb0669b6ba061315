// Where a simulated server writes its report when its last object goes: OPCSIM_REPORT_DIR, set
// for this process and the local servers COM starts from it while the object lives. A client in
// another program (the host) is checked through these reports.
#pragma once

#include <string>

namespace simtest {

class ReportDirectory {
public:
    // A directory of this process in the temporary folder, "<name>-<process id>"; removed with
    // what is in it.
    explicit ReportDirectory(const std::wstring& name);
    ~ReportDirectory();
    ReportDirectory(const ReportDirectory&) = delete;
    ReportDirectory& operator=(const ReportDirectory&) = delete;

    // The report file of a ProgID, and its text ("" while there is none).
    std::wstring File(const std::wstring& progId) const;
    std::string Report(const std::wstring& progId) const;

private:
    void Clear() const;

    std::wstring path_;
};

} // namespace simtest
