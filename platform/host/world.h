// What a scenario needs set up before the host starts, for the test runner (host --world FILE):
// one line per thing to do, fields separated by tabs:
//   lang      zh|en                the locale to start the host in (always printed)
//   plugin    NAME                 load this plug-in (--plugin NAME), in this order
//   servers   FILE                 register these simulated OPC servers
//   network   FILE                 register the network provider with this tree
//   browser   on|off               register the OPC server browser or not
//   alias-file FILE DESTINATION    copy FILE to DESTINATION for the run, remove it afterwards
//   no-alias-file                  no AliasFile.txt beside the plug-ins (without this line and
//                                  without alias-file, pelorin runs as installed: beside it an
//                                  empty AliasFile.txt, removed afterwards)
//   database  file [postgres]      the scenario writes point tables; run it against a database
//                                  file, and again against the test run's PostgreSQL
// Files are full Windows paths; relative ones in the scenario are relative to its folder.
#pragma once

#include <string>
#include <vector>

#include "scenario.h"

namespace host {

struct WorldContext {
    std::wstring scenarioDirectory;
    std::wstring hostDirectory;
    std::string lang = "zh";
    std::vector<std::string> plugins; // from `given plugins`
    std::vector<std::string> lines;   // servers, network, browser, in the scenario's order
    std::wstring aliasFile;           // from `given alias-file`, resolved
    bool noAliasFile = false;         // `given alias-file none`

    // A file named by the scenario as a full path; false when it does not exist.
    bool ResolveFile(const std::string& utf8, std::wstring& path, std::string& why) const;
};

// The lines for the runner. Without `given plugins` the plug-ins are `defaults` or, without
// those, the one the scenario's folder names (tests/scenarios/<plugin>/<name>.scn).
bool DescribeWorld(const Scenario& scenario, const std::wstring& scenarioPath,
                   const std::wstring& hostDirectory, const std::vector<std::string>& defaults,
                   std::vector<std::string>& lines, std::string& error);

// Where `given alias-file` puts its file for the plug-in at `pluginPath`.
std::wstring AliasFileBeside(const std::wstring& pluginPath);

} // namespace host
