// What framework.dll exports: nothing of the C++ library, of which every module has its own
// copy.
#include <gtest/gtest.h>

#include <cxxabi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

namespace {

// The names framework.dll exports, demangled.
std::vector<std::string> FrameworkExports() {
    std::vector<std::string> names;
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(L"framework.dll"));
    if (!base)
        return names;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const char* name = reinterpret_cast<const char*>(base + nameOffsets[i]);
        int status = 0;
        char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
        names.push_back(status == 0 && plain ? plain : name);
        std::free(plain);
    }
    return names;
}

TEST(FrameworkExports, NoneTakesOrGivesAnObjectOfTheCppLibrary) {
    const std::vector<std::string> names = FrameworkExports();
    std::vector<std::string> offending;
    size_t dialogMembers = 0;
    for (const std::string& name : names) {
        if (name.find("std::") != std::string::npos)
            offending.push_back(name);
        if (name.rfind("fw::Dialog::", 0) == 0)
            ++dialogMembers;
    }
    EXPECT_GT(dialogMembers, 10u) << "the export names could not be read";
    EXPECT_EQ(std::vector<std::string>(), offending);
}

} // namespace
