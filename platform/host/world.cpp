#include "world.h"

#include <windows.h>

#include <algorithm>

#include "fw/string.h"
#include "session.h"
#include "steps.h"

namespace host {

bool WorldContext::ResolveFile(const std::string& utf8, std::wstring& path,
                               std::string& why) const {
    std::wstring name = fw::Utf8ToWide(utf8);
    for (wchar_t& c : name)
        if (c == L'/')
            c = L'\\';
    const bool absolute =
        (name.size() > 1 && name[1] == L':') || (!name.empty() && name[0] == L'\\');
    const std::wstring joined = absolute ? name : scenarioDirectory + L"\\" + name;
    wchar_t full[MAX_PATH * 4] = {};
    const DWORD length = GetFullPathNameW(joined.c_str(), MAX_PATH * 4, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 4) {
        why = "the path " + utf8 + " is not valid";
        return false;
    }
    path = full;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = "no file " + fw::WideToUtf8(path);
        return false;
    }
    return true;
}

std::wstring AliasFileBeside(const std::wstring& pluginPath) {
    const size_t slash = pluginPath.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? L"." : pluginPath.substr(0, slash)) + L"\\AliasFile.txt";
}

bool DescribeWorld(const Scenario& scenario, const std::wstring& scenarioPath,
                   const std::wstring& hostDirectory, const std::vector<std::string>& defaults,
                   std::vector<std::string>& lines, std::string& error) {
    WorldContext world;
    const size_t slash = scenarioPath.find_last_of(L"\\/");
    world.scenarioDirectory = slash == std::wstring::npos ? L"." : scenarioPath.substr(0, slash);
    world.hostDirectory = hostDirectory;
    for (const Step& step : scenario.given) {
        if (!step.entry->world)
            continue;
        std::string why;
        if (!step.entry->world(step, world, why)) {
            error = "line " + std::to_string(step.line) + ": " + step.Kind() + ": " + why;
            return false;
        }
    }
    if (world.plugins.empty())
        world.plugins = defaults;
    if (world.plugins.empty()) {
        const std::wstring folder =
            world.scenarioDirectory.substr(world.scenarioDirectory.find_last_of(L"\\/") + 1);
        world.plugins.push_back(fw::WideToUtf8(folder));
    }
    lines.clear();
    lines.push_back("lang\t" + world.lang);
    std::vector<std::wstring> aliasTargets;
    for (const std::string& plugin : world.plugins) {
        lines.push_back("plugin\t" + plugin);
        std::wstring path;
        std::string layout;
        ResolvePlugin(fw::Utf8ToWide(plugin), hostDirectory, path, layout);
        const std::wstring target = AliasFileBeside(path);
        if (layout == "pelorin" &&
            std::find(aliasTargets.begin(), aliasTargets.end(), target) == aliasTargets.end())
            aliasTargets.push_back(target);
    }
    lines.insert(lines.end(), world.lines.begin(), world.lines.end());
    if (world.noAliasFile)
        lines.push_back("no-alias-file");
    if (!world.aliasFile.empty()) {
        if (aliasTargets.empty()) {
            error = "given alias-file: no plug-in of this scenario reads an alias file";
            return false;
        }
        for (const std::wstring& target : aliasTargets)
            lines.push_back("alias-file\t" + fw::WideToUtf8(world.aliasFile) + "\t" +
                            fw::WideToUtf8(target));
    }
    return true;
}

} // namespace host
