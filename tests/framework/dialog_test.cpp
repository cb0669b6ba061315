// The dialog framework on real windows: modal loop, command table, data exchange and its
// standard messages, resources in the user's language.
#include <gtest/gtest.h>

#include <functional>

#include "exchange_dialog.h"
#include "fw/app.h"
#include "fw/dialog.h"
#include "fw/exchange.h"
#include "fw/resources.h"
#include "message_catcher.h"

namespace {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestResources();
        fw::SetAppTitle(L"Framework Test");
    }
    MessageCatcher catcher;
};

TEST_F(DialogTest, EndDialogResultIsReturnedAndWindowDestroyed) {
    ExchangeDialog dialog;
    HWND seen = nullptr;
    dialog.body = [&](ExchangeDialog& d) {
        seen = d.Handle();
        EXPECT_TRUE(IsWindowVisible(seen));
        d.EndDialog(42);
    };
    EXPECT_EQ(42, dialog.DoModal());
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_EQ(nullptr, dialog.Handle());
    EXPECT_EQ(1, dialog.preTranslated);
}

TEST_F(DialogTest, MissingTemplateGivesMinusOne) {
    ExchangeDialog dialog(IDD_MISSING);
    EXPECT_EQ(-1, dialog.DoModal());
}

TEST_F(DialogTest, OwnerIsDisabledWhileRunningAndEnabledAfter) {
    HWND owner = CreateWindowW(L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                               100, nullptr, nullptr, nullptr, nullptr);
    fw::SetMainWindow(owner);
    ExchangeDialog dialog;
    bool disabledDuring = false;
    HWND ownerSeen = nullptr;
    dialog.body = [&](ExchangeDialog& d) {
        disabledDuring = !IsWindowEnabled(owner);
        ownerSeen = GetWindow(d.Handle(), GW_OWNER);
    };
    dialog.DoModal();
    fw::SetMainWindow(nullptr);
    EXPECT_TRUE(disabledDuring);
    EXPECT_EQ(owner, ownerSeen);
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

TEST_F(DialogTest, DialogWithoutParentGoesOverTheRunningDialog) {
    HWND main = CreateWindowW(L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100,
                              nullptr, nullptr, nullptr, nullptr);
    fw::SetMainWindow(main);
    ExchangeDialog outer;
    HWND outerWindow = nullptr, innerOwner = nullptr;
    bool outerDisabled = false, outerEnabledAfter = false;
    outer.body = [&](ExchangeDialog& d) {
        outerWindow = d.Handle();
        ExchangeDialog inner;
        inner.body = [&](ExchangeDialog& i) {
            innerOwner = GetWindow(i.Handle(), GW_OWNER);
            outerDisabled = !IsWindowEnabled(outerWindow);
        };
        inner.DoModal();
        outerEnabledAfter = IsWindowEnabled(outerWindow) != FALSE;
    };
    outer.DoModal();
    fw::SetMainWindow(nullptr);
    DestroyWindow(main);
    EXPECT_EQ(outerWindow, innerOwner);
    EXPECT_TRUE(outerDisabled);
    EXPECT_TRUE(outerEnabledAfter);
}

TEST_F(DialogTest, CommandTableAndStandardButtonsDispatch) {
    ExchangeDialog dialog;
    dialog.body = [](ExchangeDialog& d) {
        SendMessageW(d.Handle(), WM_COMMAND, MAKEWPARAM(IDC_ACTION, BN_CLICKED),
                     reinterpret_cast<LPARAM>(d.Item(IDC_ACTION)));
        // Another notification of the same control is not in the table.
        SendMessageW(d.Handle(), WM_COMMAND, MAKEWPARAM(IDC_ACTION, BN_DOUBLECLICKED),
                     reinterpret_cast<LPARAM>(d.Item(IDC_ACTION)));
        // The close box: the dialog manager posts IDCANCEL.
        SendMessageW(d.Handle(), WM_CLOSE, 0, 0);
        MSG message;
        while (!d.Ending() && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    };
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ(1, dialog.actions);
}

TEST_F(DialogTest, OkValidatesBeforeEnding) {
    ExchangeDialog dialog;
    int32_t number = 0;
    dialog.exchange = [&](fw::DataExchange& dx) { dx.Int(IDC_NUMBER, number); };
    dialog.body = [&](ExchangeDialog& d) {
        SetWindowTextA(d.Item(IDC_NUMBER), "abc");
        SendMessageW(d.Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(1u, catcher.Messages().size()); // stayed open with one message
        SetWindowTextA(d.Item(IDC_NUMBER), "-17");
        SendMessageW(d.Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(-17, number);
}

TEST_F(DialogTest, FirstFailureStopsTheExchangeAndFocusesTheControl) {
    ExchangeDialog dialog;
    fw::String text = "before";
    int32_t number = 5;
    uint32_t count = 7;
    bool failed = false;
    HWND focus = nullptr;
    dialog.exchange = [&](fw::DataExchange& dx) {
        dx.Text(IDC_TEXT, text);
        dx.MaxBytes(text, 4);
        dx.Int(IDC_NUMBER, number);
        dx.UInt(IDC_UNSIGNED, count);
    };
    dialog.body = [&](ExchangeDialog& d) {
        SetWindowTextA(d.Item(IDC_TEXT), "too long");
        SetWindowTextA(d.Item(IDC_NUMBER), "99");
        SetWindowTextA(d.Item(IDC_UNSIGNED), "100");
        failed = !d.UpdateData(true);
        focus = GetFocus();
    };
    dialog.DoModal();
    EXPECT_TRUE(failed);
    EXPECT_STREQ("too long", text.c_str()); // a long text is taken before it is rejected
    EXPECT_EQ(5, number);                   // later values untouched
    EXPECT_EQ(7u, count);
    ASSERT_EQ(1u, catcher.Messages().size());
    EXPECT_EQ(L"Framework Test", catcher.Messages()[0].caption);
    EXPECT_NE(std::wstring::npos, catcher.Messages()[0].text.find(L"4"));
    EXPECT_NE(nullptr, focus);
}

TEST_F(DialogTest, NumbersInRangeAreTakenAndOutOfRangeReported) {
    ExchangeDialog dialog;
    uint32_t refresh = 0;
    std::vector<bool> results;
    dialog.exchange = [&](fw::DataExchange& dx) {
        dx.UInt(IDC_UNSIGNED, refresh);
        dx.Range(refresh, 10u, 1000000u);
    };
    dialog.body = [&](ExchangeDialog& d) {
        for (const char* typed : {"10", "1000000", "9", "1000001", "-1", "4294967296"}) {
            SetWindowTextA(d.Item(IDC_UNSIGNED), typed);
            results.push_back(d.UpdateData(true));
        }
    };
    dialog.DoModal();
    EXPECT_EQ((std::vector<bool>{true, true, false, false, false, false}), results);
    // An out-of-range number is taken before it is rejected; one that is not a number is not.
    EXPECT_EQ(1000001u, refresh);
    EXPECT_EQ(4u, catcher.Messages().size());
}

TEST_F(DialogTest, ShowingFillsControls) {
    ExchangeDialog dialog;
    fw::String group = "Group1";
    uint32_t refresh = 4294967295u;
    int32_t number = -2147483647 - 1;
    dialog.exchange = [&](fw::DataExchange& dx) {
        dx.Text(IDC_TEXT, group);
        dx.MaxBytes(group, 16);
        dx.LimitTyping(16);
        dx.Int(IDC_NUMBER, number);
        dx.UInt(IDC_UNSIGNED, refresh);
    };
    char text[64] = {}, numberText[64] = {}, unsignedText[64] = {};
    dialog.body = [&](ExchangeDialog& d) {
        GetWindowTextA(d.Item(IDC_TEXT), text, 64);
        GetWindowTextA(d.Item(IDC_NUMBER), numberText, 64);
        GetWindowTextA(d.Item(IDC_UNSIGNED), unsignedText, 64);
    };
    dialog.DoModal();
    EXPECT_STREQ("Group1", text);
    EXPECT_STREQ("-2147483648", numberText);
    EXPECT_STREQ("4294967295", unsignedText);
}

TEST_F(DialogTest, ComboTextSelectsByPrefixIgnoringCaseOrSetsText) {
    ExchangeDialog dialog;
    fw::String value;
    dialog.exchange = [&](fw::DataExchange& dx) { dx.ComboText(IDC_COMBO, value); };
    std::vector<std::string> shown;
    std::vector<LRESULT> selected;
    dialog.body = [&](ExchangeDialog& d) {
        HWND combo = d.Item(IDC_COMBO);
        for (const char* item : {"Sim.Alpha.1", "Sim.Beta.1"})
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        for (const char* v : {"sim.beta", "Other.Server"}) {
            value = v;
            d.UpdateData(false);
            char text[64] = {};
            GetWindowTextA(combo, text, 64);
            shown.push_back(text);
            selected.push_back(SendMessageW(combo, CB_GETCURSEL, 0, 0));
        }
        d.UpdateData(true);
    };
    dialog.DoModal();
    EXPECT_EQ((std::vector<std::string>{"Sim.Beta.1", "Other.Server"}), shown);
    EXPECT_EQ(1, selected[0]);
    EXPECT_STREQ("Other.Server", value.c_str()); // saving reads the box's text
}

TEST_F(DialogTest, ComboIndexBothDirections) {
    ExchangeDialog dialog;
    int index = 1;
    dialog.exchange = [&](fw::DataExchange& dx) { dx.ComboIndex(IDC_LIST, index); };
    LRESULT shownIndex = -5;
    dialog.body = [&](ExchangeDialog& d) {
        HWND list = d.Item(IDC_LIST);
        for (const char* item : {"a", "b", "c"})
            SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        d.UpdateData(false);
        shownIndex = SendMessageW(list, CB_GETCURSEL, 0, 0);
        SendMessageW(list, CB_SETCURSEL, 2, 0);
        d.UpdateData(true);
    };
    dialog.DoModal();
    EXPECT_EQ(1, shownIndex);
    EXPECT_EQ(2, index);
}

TEST_F(DialogTest, TemplateAndStringsFollowTheUserLanguage) {
    const bool chinese = PRIMARYLANGID(fw::PreferredLanguage()) == LANG_CHINESE;
    ExchangeDialog dialog(IDD_LANGUAGE);
    wchar_t caption[32] = {};
    dialog.body = [&](ExchangeDialog& d) { GetWindowTextW(d.Handle(), caption, 32); };
    dialog.DoModal();
    EXPECT_STREQ(chinese ? L"中文" : L"English", caption);
    std::wstring greeting;
    ASSERT_TRUE(fw::LoadChainString(IDS_GREETING, greeting));
    EXPECT_EQ(chinese ? L"你好" : L"Hello", greeting);
    EXPECT_FALSE(fw::LoadChainString(IDS_GREETING + 1, greeting));
}

TEST_F(DialogTest, MessageBoxesCarryTheApplicationTitle) {
    fw::SetAppTitle(L"组态");
    fw::ShowMessageId(nullptr, IDS_GREETING, MB_OK);
    fw::ShowMessage(nullptr, "plain", MB_OK);
    EXPECT_EQ(0, fw::ShowMessageId(nullptr, IDS_GREETING + 1, MB_OK)); // unknown id: nothing shown
    ASSERT_EQ(2u, catcher.Messages().size());
    EXPECT_EQ(L"组态", catcher.Messages()[0].caption);
    EXPECT_EQ(L"plain", catcher.Messages()[1].text);
}

} // namespace
