// The demo's sample plant reads as a hierarchical server with channels, devices, a
// Chinese-named branch and typed items, plus one flat server.
#include "address_space.h"
#include "browse_cursor.h"
#include "config.h"
#include "sim_world.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using simtest::DosPath;

class SamplePlantTest : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        world_ = opcsim::LoadWorldFile(DosPath(OPCSIM_SAMPLES "/plant.json"), error);
        ASSERT_TRUE(world_) << error;
        ASSERT_EQ(2u, world_->servers.size());
    }
    // The names of a listing at a fully qualified branch id ("" for the root).
    std::vector<std::wstring> List(const std::wstring& branch, int type,
                                   HRESULT expected = S_OK) {
        const opcsim::ServerConfig& plant = *world_->servers[0];
        opcsim::BrowseCursor cursor(plant.space, plant);
        std::vector<std::wstring> names;
        EXPECT_EQ(S_OK, cursor.Move(3, branch)) << opcsim::Narrow(branch);
        EXPECT_EQ(expected, cursor.List(type, L"*", VT_EMPTY, 0, names)) << opcsim::Narrow(branch);
        return names;
    }
    std::shared_ptr<opcsim::World> world_;
};

TEST_F(SamplePlantTest, HasAHierarchicalAndAFlatServer) {
    const opcsim::ServerConfig& plant = *world_->servers[0];
    EXPECT_FALSE(plant.flat);
    EXPECT_EQ(L"OpcSim.Plant.1", plant.progId);
    EXPECT_EQ((std::vector<std::wstring>{L"Channel1", L"Channel2", L"锅炉房", L"Plant Area 3",
                                         L"Historian", L"二号车间"}),
              List(L"", 1));
    EXPECT_EQ((std::vector<std::wstring>{L"温度", L"压力", L"状态"}), List(L"锅炉房.一号锅炉", 2));
    EXPECT_TRUE(plant.notify.enabled) << "a lively plant";
    const opcsim::ServerConfig& flat = *world_->servers[1];
    EXPECT_TRUE(flat.flat);
    EXPECT_EQ(L"OpcSim.FlatPlant.1", flat.progId);
    EXPECT_EQ(opcsim::Activation::LocalServer, flat.activation);
}

// What browsing meets in the plant: depth, a branch of more than a hundred leaves, names with
// spaces and Chinese names, a name that is a branch and a leaf, an item with items, a branch
// really named "Root" below the top, and a leaf whose item id the server refuses.
TEST_F(SamplePlantTest, OffersDepthBreadthAndTheOddCases) {
    const std::wstring deepest = L"Plant Area 3.Line A.Station 1.Motor 1.Drive.Parameters";
    EXPECT_EQ((std::vector<std::wstring>{L"Ramp Up Time", L"Ramp Down Time", L"Max Speed"}),
              List(deepest, 2));
    EXPECT_EQ(120u, List(L"Historian.Archive", 2).size());
    EXPECT_EQ((std::vector<std::wstring>{L"速度", L"计数", L"报警 状态", L"操作员"}),
              List(L"二号车间.包装线", 2));
    const std::vector<std::wstring> areaBranches = List(L"Plant Area 3", 1);
    const std::vector<std::wstring> areaLeaves = List(L"Plant Area 3", 2);
    EXPECT_EQ((std::vector<std::wstring>{L"Line A", L"Mixer", L"Root"}), areaBranches);
    EXPECT_EQ((std::vector<std::wstring>{L"Mixer", L"Valve 7", L"Area Temperature",
                                         L"Area Pressure"}),
              areaLeaves);
    EXPECT_EQ((std::vector<std::wstring>{L"Inner Temperature", L"Inner Pressure"}),
              List(L"Plant Area 3.Root", 2));

    const opcsim::ServerConfig& plant = *world_->servers[0];
    opcsim::BrowseCursor cursor(plant.space, plant);
    ASSERT_EQ(S_OK, cursor.Move(3, L"Plant Area 3"));
    EXPECT_EQ(S_OK, cursor.Move(2, L"Valve 7")) << "an item with items can be entered";
    ASSERT_EQ(S_OK, cursor.Move(3, L"Plant Area 3.Line A"));
    std::wstring id;
    EXPECT_EQ(E_FAIL, cursor.ItemId(L"Broken Sensor", id));
    EXPECT_EQ(S_OK, cursor.ItemId(L"Line Speed", id));
    EXPECT_EQ(L"Plant Area 3.Line A.Line Speed", id);
}

} // namespace
