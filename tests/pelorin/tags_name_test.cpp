// Tag names from item ids, and AliasFile.txt: how lines become aliases and where the file is.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "entry/module_state.h"
#include "session/ansi_text.h"
#include "tags/alias_file.h"
#include "tags/tag_name.h"

namespace {

using pelorin::AliasMap;
using pelorin::MakeTagName;

std::string Ansi(const std::wstring& wide) {
    return pelorin::WideToAnsi(wide.c_str());
}

TEST(TagName, RemovesDotsThenBangs) {
    EXPECT_EQ("DevTag", MakeTagName("Dev!Tag", "Dev", ""));
    EXPECT_EQ("ABCD", MakeTagName("A.B!C.D", "B", ""));
    EXPECT_EQ("XYZ", MakeTagName("X.YZ", "X", ""));
    EXPECT_EQ("XYZ", MakeTagName("XY.Z", "X", ""));
}

TEST(TagName, PutsTheAliasInPlaceOfTheBranchName) {
    EXPECT_EQ("CH1Device1Temp", MakeTagName("Channel1.Device1.Temp", "Channel1", "CH1"));
    EXPECT_EQ("Channel1Device1Temp", MakeTagName("Channel1.Device1.Temp", "Channel1", ""));
    // Every occurrence, left to right, without overlaps; exact case.
    EXPECT_EQ("NNTwice", MakeTagName("Names.Names.Twice", "Names", "N"));
    EXPECT_EQ("Xa", MakeTagName("aaa", "aa", "X"));
    EXPECT_EQ("namesLow", MakeTagName("names.Low", "Names", "N"));
    // An alias that holds the branch name is not replaced again.
    EXPECT_EQ("ABBx", MakeTagName("AB.x", "AB", "ABB"));
}

TEST(TagName, ABranchNameWithADotOrBangNoLongerMatches) {
    EXPECT_EQ("MyBranchTemp", MakeTagName("My.Branch.Temp", "My.Branch", "MB"));
    EXPECT_EQ("DevTag", MakeTagName("Dev!Tag", "Dev!", "D"));
}

TEST(TagName, NothingIsReplacedForAnEmptyBranchName) {
    EXPECT_EQ("ab", MakeTagName("a.b", "", "X"));
}

TEST(TagName, MatchesOnlyWholeCharactersOfTheCodePage) {
    // The second byte of 丄 in code page 936 is "A".
    ASSERT_EQ(2u, Ansi(L"丄").size());
    ASSERT_EQ('A', Ansi(L"丄")[1]);
    EXPECT_EQ(Ansi(L"丄Z"), MakeTagName(Ansi(L"丄.A"), "A", "Z"));
    EXPECT_EQ(Ansi(L"锅炉一号温度"),
              MakeTagName(Ansi(L"锅炉房.一号.温度"), Ansi(L"锅炉房"), Ansi(L"锅炉")));
}

TEST(AliasText, TheFirstSemicolonSplitsAndLaterLinesWin) {
    AliasMap aliases;
    pelorin::ParseAliasText("Channel1;CH1\nChannel2;C;2\nChannel1;Again\n", aliases);
    EXPECT_EQ(AliasMap({{"Channel1", "Again"}, {"Channel2", "C;2"}}), aliases);
}

TEST(AliasText, NothingIsTrimmedButLineEndsAreNotPartOfTheTexts) {
    AliasMap aliases;
    pelorin::ParseAliasText(" A ; b \r\nTab\t;x\ty\nCr;z\r", aliases);
    EXPECT_EQ(AliasMap({{" A ", " b "}, {"Tab\t", "x\ty"}, {"Cr", "z\r"}}), aliases);
}

TEST(AliasText, LinesWithoutSemicolonAndEmptyLinesGiveTheEmptyKey) {
    AliasMap aliases;
    pelorin::ParseAliasText("whole line\n", aliases);
    EXPECT_EQ(AliasMap({{"", "whole line"}}), aliases);
    pelorin::ParseAliasText(";X\n", aliases);
    EXPECT_EQ(AliasMap({{"", "X"}}), aliases);
    pelorin::ParseAliasText("Branch;\n\nLast;no line end", aliases);
    EXPECT_EQ(AliasMap({{"", ""}, {"Branch", ""}, {"Last", "no line end"}}), aliases);
    EXPECT_EQ("", pelorin::AliasOf(aliases, "Missing"));
    EXPECT_EQ("no line end", pelorin::AliasOf(aliases, "Last"));
}

TEST(AliasText, ChineseBytesAreKeptAsTheyAre) {
    AliasMap aliases;
    pelorin::ParseAliasText(Ansi(L"锅炉房;锅炉;一\n"), aliases);
    EXPECT_EQ(Ansi(L"锅炉;一"), pelorin::AliasOf(aliases, Ansi(L"锅炉房")));
}

TEST(AliasFilePath, IsBesideTheModule) {
    EXPECT_EQ(L"C:\\Program Files\\host\\AliasFile.txt",
              pelorin::AliasFilePath(L"C:\\Program Files\\host\\pelorin.dll"));
    EXPECT_EQ(L"\\\\plant\\share\\AliasFile.txt",
              pelorin::AliasFilePath(L"\\\\plant\\share\\pelorin.dll"));
    // A backslash only at the very start is not a directory to cut at.
    EXPECT_EQ(L"\\pelorin.dllAliasFile.txt", pelorin::AliasFilePath(L"\\pelorin.dll"));
}

// A directory of its own under the temp directory, with the probe module copied into it and
// loaded from there; removed again afterwards.
class InstalledModule : public ::testing::Test {
protected:
    void Install(const std::wstring& directoryName) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        directory_ = std::wstring(temp) + L"pelorin-alias-" +
                     std::to_wstring(GetCurrentProcessId()) + L"\\" + directoryName;
        for (size_t at = directory_.find(L'\\', 3); at != std::wstring::npos;
             at = directory_.find(L'\\', at + 1))
            CreateDirectoryW(Long(directory_.substr(0, at)).c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(Long(directory_).c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS)
            << GetLastError();
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring probe = self;
        probe.erase(probe.find_last_of(L'\\') + 1);
        probe += L"tags_probe.dll";
        module_ = directory_ + L"\\pelorin.dll";
        ASSERT_TRUE(CopyFileW(probe.c_str(), Long(module_).c_str(), FALSE));
        handle_ = LoadLibraryW(Long(module_).c_str());
        ASSERT_NE(nullptr, handle_);
        pelorin::RecordModuleInstance(handle_);
    }
    void WriteAliasFile(const std::string& bytes) {
        FILE* out = _wfopen(Long(AliasFile()).c_str(), L"wb");
        ASSERT_NE(nullptr, out);
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }
    std::wstring AliasFile() const { return directory_ + L"\\AliasFile.txt"; }
    void TearDown() override {
        pelorin::RecordModuleInstance(nullptr);
        if (handle_)
            FreeLibrary(handle_);
        DeleteFileW(Long(AliasFile()).c_str());
        DeleteFileW(Long(module_).c_str());
        for (std::wstring path = directory_;
             path.size() > 3 && path.find(L"pelorin-alias-") != std::wstring::npos;
             path.erase(path.find_last_of(L'\\')))
            RemoveDirectoryW(Long(path).c_str());
    }
    // The file functions take a path beyond MAX_PATH characters only in this form.
    static std::wstring Long(const std::wstring& path) {
        return path.size() < MAX_PATH ? path : L"\\\\?\\" + path;
    }

    std::wstring directory_;
    std::wstring module_;
    HMODULE handle_ = nullptr;
};

// Longer than 256 bytes in code page 936, shorter than MAX_PATH characters (and each name
// within what the file system below takes).
const std::wstring kChineseDirectory = std::wstring(60, L'锅') + L"\\" + std::wstring(60, L'炉');

TEST_F(InstalledModule, AMissingFileIsReportedWithItsWholePath) {
    Install(kChineseDirectory);
    ASSERT_GT(Ansi(AliasFile()).size(), 256u);
    AliasMap aliases;
    std::vector<std::wstring> shown;
    pelorin::LoadAliasFile(aliases, [&](const std::wstring& text) { shown.push_back(text); });
    EXPECT_EQ(std::vector<std::wstring>({AliasFile()}), shown);
    EXPECT_TRUE(aliases.empty());
}

TEST_F(InstalledModule, TheFileIsFoundInADirectoryWhosePathDoesNotFit256Bytes) {
    Install(kChineseDirectory);
    WriteAliasFile(Ansi(L"锅炉房;锅炉\r\nChannel1;CH1\r\n"));
    AliasMap aliases;
    std::vector<std::wstring> shown;
    pelorin::LoadAliasFile(aliases, [&](const std::wstring& text) { shown.push_back(text); });
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(AliasMap({{Ansi(L"锅炉房"), Ansi(L"锅炉")}, {"Channel1", "CH1"}}), aliases);
}

TEST_F(InstalledModule, TheFileIsFoundBeyondMaxPathCharacters) {
    Install(std::wstring(120, L'a') + L"\\" + std::wstring(120, L'b'));
    ASSERT_GT(AliasFile().size(), static_cast<size_t>(MAX_PATH));
    ASSERT_EQ(module_, pelorin::ModuleFilePath(handle_).substr(
                           pelorin::ModuleFilePath(handle_).size() - module_.size()));
    WriteAliasFile("Channel1;CH1\n");
    AliasMap aliases;
    std::vector<std::wstring> shown;
    pelorin::LoadAliasFile(aliases, [&](const std::wstring& text) { shown.push_back(text); });
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(AliasMap({{"Channel1", "CH1"}}), aliases);
}

TEST_F(InstalledModule, LinesLongerThanTheReadBufferAndLineEndsAcrossItStayWhole) {
    Install(L"plain");
    const std::string longKey(4095, 'k'); // its "\r\n" falls across the first 4096 bytes
    WriteAliasFile(longKey + "\r\n" + std::string(5000, 'x') + ";" + std::string(3000, 'y') +
                   "\nB;b");
    AliasMap aliases;
    ASSERT_TRUE(pelorin::ReadAliasFile(AliasFile(), aliases));
    EXPECT_EQ(
        AliasMap({{"", longKey}, {std::string(5000, 'x'), std::string(3000, 'y')}, {"B", "b"}}),
        aliases);
}

TEST_F(InstalledModule, AFileThatCannotBeReadLeavesTheMapAsItWas) {
    Install(L"plain");
    AliasMap aliases{{"Kept", "k"}};
    EXPECT_FALSE(pelorin::ReadAliasFile(AliasFile(), aliases));
    CreateDirectoryW(Long(AliasFile()).c_str(), nullptr); // a directory cannot be read as a file
    EXPECT_FALSE(pelorin::ReadAliasFile(AliasFile(), aliases));
    RemoveDirectoryW(Long(AliasFile()).c_str());
    EXPECT_EQ(AliasMap({{"Kept", "k"}}), aliases);
}

} // namespace
