#include "test_world.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

#include <memory>

namespace opctest {
namespace {

class WorldEnvironment : public testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        world_ = simtest::SimWorld::Shared(OPC_TEST_WORLD);
        EXPECT_TRUE(world_->Ready()) << world_->Error();
    }

    void TearDown() override {
        world_.reset();
        CoUninitialize();
    }

private:
    std::unique_ptr<simtest::SimWorld> world_;
};

testing::Environment* const g_world = testing::AddGlobalTestEnvironment(new WorldEnvironment);

} // namespace

PrivateServer::PrivateServer(const std::string& members)
    : simtest::PrivateServer(
          "OpcSim.Private",
          "\"space\": [{\"branch\": \"Area\", \"children\": [{\"item\": \"Temperature\", \"type\": "
          "\"R4\"}, {\"item\": \"Pressure\", \"type\": \"R4\"}]}, {\"item\": \"Status\", \"type\": "
          "\"I4\"}], " +
              members) {
    EXPECT_TRUE(Ready()) << Error();
}

} // namespace opctest
