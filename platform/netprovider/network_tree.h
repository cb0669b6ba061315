// The network a test set sees through our network provider, read from a JSON file:
// the provider's containers (workgroups or domains) and the computers in each, with remote
// names as the file spells them (with or without leading backslashes), and enumerations that
// fail on purpose. The format is described in platform/opcsim/README.md.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace netprovider {

enum class Failure { None, Open, Enumerate };

struct NetEntry {
    std::wstring remoteName;
    std::wstring comment;
    DWORD displayType = 0; // RESOURCEDISPLAYTYPE_*
    DWORD usage = 0;       // RESOURCEUSAGE_*
    Failure failure = Failure::None;
    std::vector<NetEntry> children;
};

struct NetworkTree {
    NetEntry top; // the provider's own container: its children are the workgroups and domains
};

std::shared_ptr<NetworkTree> LoadTreeFile(const std::wstring& path, std::string& error);
std::shared_ptr<NetworkTree> ParseTree(const std::string& json, std::string& error);

} // namespace netprovider
