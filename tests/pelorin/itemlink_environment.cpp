// COM for the test thread and the plug-in's resources (linked into the test program) in the
// framework's resource chain, as the plug-in has both once the host loaded it.
#include <gtest/gtest.h>

#include <ole2.h>
#include <windows.h>

#include "fw/resources.h"

namespace {

class ItemLinkEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(fw::InitExtensionModule(extension_, GetModuleHandleW(nullptr)));
        fw::AddResourceModule(extension_);
    }
    void TearDown() override {
        fw::TermExtensionModule(extension_);
        OleUninitialize();
    }

private:
    fw::ExtensionModule extension_;
};

const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ItemLinkEnvironment);

} // namespace
