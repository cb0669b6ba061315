// The environment of the test programs that run pelorin's code in their own process: COM for
// the test thread and the plug-in's resources (linked into the program) in the framework's
// resource chain, as the plug-in has both once the host loaded it. A program built with
// PELORIN_TEST_WORLD also has the simulated servers of that world file registered while any of
// its processes, or those of another program of the same world, runs.
#include <gtest/gtest.h>

#include <ole2.h>
#include <windows.h>

#include <memory>

#include "fw/resources.h"
#include "sim_world.h"

namespace {

class PluginEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(fw::InitExtensionModule(extension_, GetModuleHandleW(nullptr)));
        fw::AddResourceModule(extension_);
#ifdef PELORIN_TEST_WORLD
        world_ = simtest::SimWorld::Shared(PELORIN_TEST_WORLD);
        EXPECT_TRUE(world_->Ready()) << world_->Error();
#endif
    }
    void TearDown() override {
        world_.reset();
        fw::TermExtensionModule(extension_);
        OleUninitialize();
    }

private:
    fw::ExtensionModule extension_;
    std::unique_ptr<simtest::SimWorld> world_;
};

const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new PluginEnvironment);

} // namespace
