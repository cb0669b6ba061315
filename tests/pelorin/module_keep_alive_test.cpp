// The module reference that live COM objects hold, on a real module: pelorin.dll itself,
// loaded and freed here the way the host does it.
#include <gtest/gtest.h>

#include <windows.h>

#include "entry/module_keep_alive.h"

namespace {

using pelorin::ModuleKeepAlive;

bool Loaded() {
    return GetModuleHandleW(L"pelorin.dll") != nullptr;
}

class KeepAliveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Loaded());
        module_ = LoadLibraryW(L"pelorin.dll"); // the host's reference
        ASSERT_NE(nullptr, module_);
        keepAlive_.reset(new ModuleKeepAlive(module_));
    }

    HMODULE module_ = nullptr;
    std::unique_ptr<ModuleKeepAlive> keepAlive_;
};

TEST_F(KeepAliveTest, ObjectsThatEndBeforeTheHostLetsGoGiveTheModuleBack) {
    keepAlive_->ObjectCreated();
    keepAlive_->ObjectCreated();
    EXPECT_EQ(2, keepAlive_->LiveObjects());
    EXPECT_FALSE(keepAlive_->CanUnloadNow());
    EXPECT_TRUE(keepAlive_->HoldsModule());
    keepAlive_->ReleaseIfIdle(); // objects live: nothing is given back
    EXPECT_TRUE(keepAlive_->HoldsModule());
    keepAlive_->ObjectDestroyed();
    keepAlive_->ObjectDestroyed();
    EXPECT_TRUE(keepAlive_->CanUnloadNow());
    EXPECT_TRUE(keepAlive_->HoldsModule()) << "never given back by the last object itself";
    keepAlive_->ReleaseIfIdle(); // the end of the host's call
    EXPECT_FALSE(keepAlive_->HoldsModule());
    keepAlive_->ReleaseIfIdle(); // once only
    FreeLibrary(module_);
    EXPECT_FALSE(Loaded()) << "the host's FreeLibrary unloads an idle plug-in";
}

TEST_F(KeepAliveTest, AnObjectThatOutlivesTheHostsReferenceKeepsTheModuleForGood) {
    keepAlive_->ObjectCreated(); // a sink that a server keeps
    keepAlive_->ReleaseIfIdle();
    FreeLibrary(module_); // the host lets go
    EXPECT_TRUE(Loaded()) << "the server may still call the sink";
    keepAlive_->ObjectDestroyed(); // the server lets the sink go, in the module's own code
    EXPECT_TRUE(Loaded()) << "the module must not unmap the code it returns into";
    EXPECT_TRUE(keepAlive_->CanUnloadNow());
}

TEST_F(KeepAliveTest, ANewObjectAfterTheReferenceWasGivenBackTakesAnother) {
    keepAlive_->ObjectCreated();
    keepAlive_->ObjectDestroyed();
    keepAlive_->ReleaseIfIdle();
    keepAlive_->ObjectCreated(); // the next call of the host
    EXPECT_TRUE(keepAlive_->HoldsModule());
    FreeLibrary(module_);
    EXPECT_TRUE(Loaded());
    keepAlive_->ObjectDestroyed();
    EXPECT_TRUE(Loaded());
}

} // namespace
