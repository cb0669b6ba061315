// The reports the simulated OPC servers write for a program that uses them (the host): when the
// last object of a server goes, its counts are appended to <OPCSIM_REPORT_DIR>\<ProgID>.txt.
//   report released process=42
//   server OpcSim.Plant.1
//   outstanding objects=0 references=0 sinks=0
//   calls IEnumString::Next=3
#pragma once

#include <string>

namespace host {

// The report file's name for a ProgID (characters a file name cannot hold become '_').
std::wstring ReportFileName(const std::wstring& progId);

// How many reports the text holds, and the calls of `method` summed over all of them (0 when
// no report names it).
struct ReportCount {
    int reports = 0;
    long calls = 0;
};
ReportCount CountCalls(const std::string& text, const std::string& method);

} // namespace host
