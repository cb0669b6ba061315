// Registration of our network provider in the registry, where mpr.dll looks for providers
// when it loads: the provider order and the provider's service key (with the tree file it
// serves).
#pragma once

#include <string>

namespace netprovider {

extern const wchar_t kServiceName[];  // the key under Services and the name in ProviderOrder
extern const wchar_t kProviderName[]; // the name mpr reports for the provider

bool RegisterNetwork(const std::wstring& treeFile, const std::wstring& providerDll,
                     std::string& error);
void UnregisterNetwork();
std::wstring RegisteredTreeFile();

} // namespace netprovider
