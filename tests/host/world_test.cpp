// What the host tells the test runner about a scenario (host --world), what the given steps do
// to the records of several plug-ins, and how `expect calls` reads a simulated server's reports.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "fw/string.h"
#include "scenario.h"
#include "session.h"
#include "sim_report.h"
#include "steps.h"
#include "world.h"

namespace {

// A folder tree of files under the temporary directory, removed afterwards.
class Folder {
public:
    Folder() {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        root_ = std::wstring(base) + L"host-world-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(root_.c_str(), nullptr);
    }
    ~Folder() {
        for (auto it = files_.rbegin(); it != files_.rend(); ++it)
            if (!DeleteFileW(it->c_str()))
                RemoveDirectoryW(it->c_str());
        RemoveDirectoryW(root_.c_str());
    }
    std::wstring Dir(const std::wstring& name) {
        const std::wstring path = root_ + L"\\" + name;
        CreateDirectoryW(path.c_str(), nullptr);
        files_.push_back(path);
        return path;
    }
    std::wstring File(const std::wstring& name) {
        const std::wstring path = root_ + L"\\" + name;
        FILE* file = _wfopen(path.c_str(), L"wb");
        if (file)
            std::fclose(file);
        files_.push_back(path);
        return path;
    }
    const std::wstring& Root() const { return root_; }

private:
    std::wstring root_;
    std::vector<std::wstring> files_;
};

host::Scenario Parse(const std::string& text) {
    host::Scenario scenario;
    std::string error;
    EXPECT_TRUE(host::ParseScenario(text, scenario, error)) << error;
    return scenario;
}

std::string U(const std::wstring& wide) {
    return fw::WideToUtf8(wide);
}

TEST(World, TheRunnerLearnsLanguagePluginsAndFilesWithFullPaths) {
    Folder folder;
    folder.Dir(L"pelorin");
    folder.Dir(L"pelorin\\worlds");
    const std::wstring servers = folder.File(L"pelorin\\worlds\\a.json");
    const std::wstring network = folder.File(L"net.json");
    const std::wstring scenario = folder.Root() + L"\\pelorin\\x.scn";
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(host::DescribeWorld(Parse("given lang en\ngiven servers \"worlds/a.json\"\n"
                                          "given browser off\ngiven network \"../net.json\"\n"
                                          "window \"x\"\n"),
                                    scenario, L"C:\\bin", {}, lines, error))
        << error;
    const std::vector<std::string> expected = {"lang\ten", "plugin\tpelorin",
                                               "servers\t" + U(servers), "browser\toff",
                                               "network\t" + U(network)};
    EXPECT_EQ(expected, lines);
}

TEST(World, PluginsComeFromTheScenarioThenTheCallerThenTheFolder) {
    const std::wstring scenario = L"C:\\tests\\scenarios\\marvesk\\x.scn";
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(
        host::DescribeWorld(Parse("window \"x\"\n"), scenario, L"C:\\bin", {}, lines, error));
    EXPECT_EQ((std::vector<std::string>{"lang\tzh", "plugin\tmarvesk"}), lines);
    ASSERT_TRUE(host::DescribeWorld(Parse("window \"x\"\n"), scenario, L"C:\\bin", {"pelorin"},
                                    lines, error));
    EXPECT_EQ((std::vector<std::string>{"lang\tzh", "plugin\tpelorin"}), lines);
    ASSERT_TRUE(host::DescribeWorld(Parse("given plugins pelorin marvesk\ncall marvesk\n"),
                                    scenario, L"C:\\bin", {"x"}, lines, error));
    EXPECT_EQ((std::vector<std::string>{"lang\tzh", "plugin\tpelorin", "plugin\tmarvesk"}), lines);
}

TEST(World, AnAliasFileGoesBesideThePluginsThatReadOne) {
    Folder folder;
    const std::wstring aliases = folder.File(L"aliases.txt");
    const std::wstring scenario = folder.Root() + L"\\x.scn";
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(host::DescribeWorld(
        Parse("given plugins marvesk pelorin\ngiven alias-file \"aliases.txt\"\ncall pelorin\n"),
        scenario, L"C:\\bin", {}, lines, error))
        << error;
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("alias-file\t" + U(aliases) + "\tC:\\bin\\AliasFile.txt", lines[3]);
    EXPECT_FALSE(host::DescribeWorld(
        Parse("given plugins marvesk\ngiven alias-file \"aliases.txt\"\ncall marvesk\n"), scenario,
        L"C:\\bin", {}, lines, error));
    EXPECT_EQ("given alias-file: no plug-in of this scenario reads an alias file", error);
}

TEST(World, AMissingFileIsNamedWithItsLine) {
    Folder folder;
    const std::wstring scenario = folder.Root() + L"\\x.scn";
    std::vector<std::string> lines;
    std::string error;
    EXPECT_FALSE(host::DescribeWorld(Parse("# world\ngiven servers \"none.json\"\n"), scenario,
                                     L"C:\\bin", {"pelorin"}, lines, error));
    EXPECT_EQ("line 2: given servers: no file " + U(folder.Root()) + "\\none.json", error);
}

// The given steps of a scenario applied to the plug-ins of one host.
struct GivenRun {
    host::HostSession session;
    std::string Apply(const std::string& text) {
        const host::Scenario scenario = Parse(text);
        std::string why;
        for (const host::Step& step : scenario.given)
            if (step.entry->given && !step.entry->given(step, session, why))
                return why;
        return "ok";
    }
};

TEST(Given, FieldsAndTagsReachThePluginsThatHaveThem) {
    GivenRun run;
    std::string error;
    // Device files that do not exist: new devices.
    ASSERT_TRUE(run.session.Add(L"marvesk", L"C:\\none\\m.json", L"C:\\bin", error)) << error;
    ASSERT_TRUE(run.session.Add(L"pelorin", L"C:\\none\\p.json", L"C:\\bin", error)) << error;
    EXPECT_EQ("ok", run.Apply("given plugins marvesk pelorin\ngiven field source 7\n"
                              "given field group \"G\"\ngiven tag \"T1\"\ncall pelorin\n"));
    auto& plugins = run.session.Plugins();
    EXPECT_EQ("7", plugins[0]->record->FieldText("source"));
    EXPECT_EQ("\"G\"", plugins[1]->record->FieldText("group"));
    EXPECT_EQ(0u, plugins[0]->tags.Count());
    EXPECT_EQ(1u, plugins[1]->tags.Count());
    EXPECT_EQ("no plug-in of this scenario has a field 'colour'",
              run.Apply("given field colour 1\n"));
    EXPECT_EQ("the scenario needs the plug-ins pelorin, marvesk (the host has marvesk, pelorin)",
              run.Apply("given plugins pelorin marvesk\ncall marvesk\n"));
}

TEST(Given, OnePluginExplainsAWrongField) {
    GivenRun run;
    std::string error;
    ASSERT_TRUE(run.session.Add(L"marvesk", L"C:\\none\\m.json", L"C:\\bin", error)) << error;
    EXPECT_EQ("unknown field 'group' for marvesk", run.Apply("given field group \"G\"\n"));
    EXPECT_EQ("no plug-in of this scenario has a tag database", run.Apply("given tag \"T\"\n"));
}

TEST(SimulatorReport, CallsAreSummedOverEveryReportOfTheServer) {
    const std::string text = "report released process=7\r\nserver P.1\r\n"
                             "outstanding objects=0 references=0 sinks=0\r\n"
                             "calls IEnumString::Next=3\r\ncalls IEnumString::NextBatch=100\r\n"
                             "calls IAdviseSink::OnDataChange (sent)=2\r\n\r\n"
                             "report released process=7\nserver P.1\ncalls IEnumString::Next=2\n";
    EXPECT_EQ(2, host::CountCalls(text, "IEnumString::Next").reports);
    EXPECT_EQ(5, host::CountCalls(text, "IEnumString::Next").calls);
    EXPECT_EQ(2, host::CountCalls(text, "IAdviseSink::OnDataChange (sent)").calls);
    EXPECT_EQ(0, host::CountCalls(text, "IEnumString").calls);
    EXPECT_EQ(0, host::CountCalls("", "IEnumString::Next").reports);
    EXPECT_EQ(L"Odd_Name_.txt", host::ReportFileName(L"Odd/Name?"));
}

} // namespace
