// How long the simulator takes to load a large address space and to list and resolve the names
// of one branch. Prints figures; asserts nothing.
//   opcsim_bench [branches] [items per branch]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "address_space.h"
#include "browse_cursor.h"
#include "config.h"

int main(int argc, char** argv) {
    const int branches = argc > 1 ? std::atoi(argv[1]) : 10;
    const int items = argc > 2 ? std::atoi(argv[2]) : 10000;
    const std::string json =
        R"({"servers": [{"progId": "P", "clsid": "{11111111-2222-3333-4444-555555555555}",
        "space": [{"branch": "Line{n}", "repeat": )" + std::to_string(branches) +
        R"(, "children": [{"item": "Tag{n}", "repeat": )" + std::to_string(items) +
        R"(, "type": "R4"}]}]}]})";
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::string error;
    auto world = opcsim::ParseWorld(json, error);
    if (!world) {
        std::printf("cannot build the space: %s\n", error.c_str());
        return 1;
    }
    const auto loaded = Clock::now();
    const auto& server = *world->servers[0];
    opcsim::BrowseCursor cursor(server.space, server);
    cursor.Move(2, L"Line1");
    std::vector<std::wstring> names;
    cursor.List(2, L"", VT_EMPTY, 0, names);
    std::wstring id;
    for (const std::wstring& name : names)
        cursor.ItemId(name, id);
    const auto browsed = Clock::now();
    using Ms = std::chrono::duration<double, std::milli>;
    const double loadMs = Ms(loaded - start).count(), browseMs = Ms(browsed - loaded).count();
    std::printf("items: %zu in %d branches\n", server.space->ItemCount(), branches);
    std::printf("load: %.1f ms\n", loadMs);
    std::printf("list and resolve one branch (%zu names): %.1f ms (%.2f us per name)\n",
                names.size(), browseMs, names.empty() ? 0.0 : browseMs * 1000.0 / names.size());
    return 0;
}
