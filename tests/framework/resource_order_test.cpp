// Two plug-ins with the same resource ids in one process: a dialog finds the template and the
// strings of its own module first, whichever of them registered last.
#include <gtest/gtest.h>

#include <string>

#include "exchange_dialog.h"
#include "fw/app.h"
#include "fw/resources.h"
#include "message_catcher.h"

namespace {

using RunRivalDialog = int(__cdecl*)(wchar_t*, int, wchar_t*, int);

class ResourceOrderTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestResources();
        // The rival puts itself in front of the chain when it is loaded, as plug-ins do.
        rival_ = LoadLibraryW(L"framework_rival.dll");
        ASSERT_NE(nullptr, rival_);
    }
    void TearDown() override {
        if (rival_)
            FreeLibrary(rival_);
    }

    static std::wstring OwnGreeting() {
        return PRIMARYLANGID(fw::PreferredLanguage()) == LANG_CHINESE ? L"你好" : L"Hello";
    }

    HMODULE rival_ = nullptr;
    MessageCatcher catcher;
};

TEST_F(ResourceOrderTest, DialogKeepsItsOwnTemplateAndStringsBehindALaterPlugin) {
    std::wstring chained;
    ASSERT_TRUE(fw::LoadChainString(IDS_RIVAL_ONLY, chained)); // the rival is in the chain
    ExchangeDialog dialog;
    wchar_t caption[64] = {};
    bool ownControls = false;
    std::wstring greeting;
    dialog.body = [&](ExchangeDialog& d) {
        GetWindowTextW(d.Handle(), caption, 64);
        ownControls = d.Item(IDC_TEXT) && d.Item(IDC_ACTION);
        d.LoadText(IDS_GREETING, greeting);
        fw::ShowMessageId(d.Handle(), IDS_GREETING, MB_OK);
    };
    dialog.DoModal();
    EXPECT_STREQ(L"Exchange test", caption);
    EXPECT_TRUE(ownControls);
    EXPECT_EQ(OwnGreeting(), greeting);
    // Lookups made from this module's code without a dialog prefer it as well, and what only
    // the rival has is still found through the chain.
    std::wstring text;
    ASSERT_TRUE(fw::LoadChainString(IDS_GREETING, text));
    EXPECT_EQ(OwnGreeting(), text);
    fw::ShowMessageId(nullptr, IDS_GREETING, MB_OK);
    EXPECT_EQ(L"Only the rival has this", chained);
    ASSERT_EQ(2u, catcher.Messages().size());
    EXPECT_EQ(OwnGreeting(), catcher.Messages()[0].text);
    EXPECT_EQ(OwnGreeting(), catcher.Messages()[1].text);
}

TEST_F(ResourceOrderTest, PluginDialogKeepsItsOwnTemplateAndStringsBehindTheProgram) {
    MoveTestResourcesToFront();
    auto run = reinterpret_cast<RunRivalDialog>(
        reinterpret_cast<void*>(GetProcAddress(rival_, "RunRivalDialog")));
    ASSERT_NE(nullptr, run);
    wchar_t caption[64] = {}, greeting[64] = {};
    EXPECT_EQ(IDOK, run(caption, 64, greeting, 64));
    EXPECT_STREQ(L"Rival", caption);
    EXPECT_STREQ(L"Rival greeting", greeting);
    ASSERT_EQ(1u, catcher.Messages().size());
    EXPECT_EQ(L"Rival greeting", catcher.Messages()[0].text);
}

} // namespace
