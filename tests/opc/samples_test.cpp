// The demo's sample plant reads as a hierarchical server with channels, devices, a
// Chinese-named branch and typed items, plus one flat server.
#include "address_space.h"
#include "browse_cursor.h"
#include "config.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

std::wstring DosPath(const std::string& unixPath) {
    using ToDos = LPWSTR(CDECL*)(LPCSTR);
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    std::wstring out;
    if (LPWSTR dos = toDos ? toDos(unixPath.c_str()) : nullptr) {
        out = dos;
        HeapFree(GetProcessHeap(), 0, dos);
    }
    return out;
}

TEST(SamplePlantTest, HasAHierarchicalAndAFlatServer) {
    std::string error;
    auto world = opcsim::LoadWorldFile(DosPath(OPCSIM_SAMPLES "/plant.json"), error);
    ASSERT_TRUE(world) << error;
    ASSERT_EQ(2u, world->servers.size());
    const opcsim::ServerConfig& plant = *world->servers[0];
    EXPECT_FALSE(plant.flat);
    opcsim::BrowseCursor cursor(plant.space, plant);
    std::vector<std::wstring> names;
    ASSERT_EQ(S_OK, cursor.List(1, L"*", VT_EMPTY, 0, names));
    EXPECT_EQ((std::vector<std::wstring>{L"Channel1", L"Channel2", L"锅炉房"}), names);
    ASSERT_EQ(S_OK, cursor.Move(3, L"锅炉房.一号锅炉"));
    ASSERT_EQ(S_OK, cursor.List(2, L"*", VT_EMPTY, 0, names));
    EXPECT_EQ((std::vector<std::wstring>{L"温度", L"压力", L"状态"}), names);
    EXPECT_GE(plant.space->ItemCount(), 20u);
    const opcsim::ServerConfig& flat = *world->servers[1];
    EXPECT_TRUE(flat.flat);
    EXPECT_EQ(opcsim::Activation::LocalServer, flat.activation);
}

} // namespace
