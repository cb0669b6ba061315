// The step table is the one place steps are known: it must be whole (every step carried out by
// someone), unambiguous, and the README must show exactly what it holds.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "scenario.h"
#include "steps.h"

namespace {

TEST(StepTable, EveryStepHasOneNameAndSomeoneWhoCarriesItOut) {
    std::set<std::string> names;
    for (const host::StepEntry& entry : host::StepTable()) {
        if (!entry.usage)
            continue;
        EXPECT_TRUE(names.insert(entry.Name()).second) << entry.Name() << " twice";
        EXPECT_EQ(&entry, host::FindStep(entry.Name()));
        const bool given = entry.Name().compare(0, 6, "given ") == 0;
        // Given steps are for the host or the runner, all others for the robot.
        EXPECT_EQ(given, entry.robot == nullptr) << entry.usage;
        EXPECT_EQ(given, entry.given != nullptr || entry.world != nullptr) << entry.usage;
        EXPECT_FALSE(std::string(entry.help).empty()) << entry.usage;
    }
    EXPECT_EQ(nullptr, host::FindStep("expect"));
    EXPECT_EQ(nullptr, host::FindStep("given"));
}

TEST(StepTable, TheReadmeListsTheStepsAsTheHostPrintsThem) {
    std::ifstream file(HOST_README, std::ios::binary);
    ASSERT_TRUE(file) << "cannot read " << HOST_README;
    std::stringstream content;
    content << file.rdbuf();
    const std::string text = content.str();
    const std::string marker = "<!-- host --steps -->\n```\n";
    const size_t start = text.find(marker);
    ASSERT_NE(std::string::npos, start) << "the README has no block after " << marker;
    const size_t end = text.find("```\n", start + marker.size());
    ASSERT_NE(std::string::npos, end);
    const std::string shown = text.substr(start + marker.size(), end - start - marker.size());
    const std::string table = host::StepList();
    if (shown != table) {
        // Name the first line that differs; the fix is to paste `./run host --steps`.
        std::istringstream a(shown), b(table);
        std::string lineA, lineB;
        int line = 0;
        while (std::getline(a, lineA), std::getline(b, lineB), a || b) {
            ++line;
            if (lineA != lineB || !a || !b)
                break;
        }
        FAIL() << "the README's step list differs from the host's table at its line " << line
               << ":\n  README: " << lineA << "\n  host:   " << lineB
               << "\nreplace the block with the output of ./run host --steps";
    }
}

} // namespace
