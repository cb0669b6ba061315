// A dialog's own code that throws, where the framework calls it. This test program is a module
// of its own with its own C++ runtime, as a plug-in is: an exception from its handlers can only
// be caught on its side of the framework. And what framework.dll exports: nothing of the C++
// library, which every module has its own copy of.
#include <gtest/gtest.h>
#include <ole2.h>

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "exchange_dialog.h"
#include "fw/app.h"
#include "fw/events.h"
#include "fw/resources.h"
#include "grid_api.h"
#include "message_catcher.h"

namespace {

class BoundaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestResources();
        fw::SetAppTitle(L"Framework Test");
    }

    // The one message a failed handler ends in, in the user's language.
    static std::wstring Unexpected() {
        std::wstring text;
        EXPECT_TRUE(fw::LoadChainString(fw::kMsgUnexpected, text));
        EXPECT_FALSE(text.empty());
        return text;
    }

    void ExpectOneUnexpected() {
        ASSERT_EQ(1u, catcher.Messages().size());
        EXPECT_EQ(Unexpected(), catcher.Messages()[0].text);
        EXPECT_EQ(L"Framework Test", catcher.Messages()[0].caption);
    }

    MessageCatcher catcher;
};

void Click(ExchangeDialog& dialog, UINT id) {
    SendMessageW(dialog.Item(id), BM_CLICK, 0, 0);
}

TEST_F(BoundaryTest, ThrowingCommandHandlerShowsOneMessageAndTheDialogGoesOn) {
    ExchangeDialog dialog;
    bool fail = true;
    dialog.onAction = [&] {
        if (fail)
            throw std::runtime_error("the handler failed");
    };
    size_t messagesAfterFailure = 0;
    bool openAfterFailure = false;
    dialog.body = [&](ExchangeDialog& d) {
        Click(d, IDC_ACTION);
        messagesAfterFailure = catcher.Messages().size();
        openAfterFailure =
            IsWindowVisible(d.Handle()) && IsWindowEnabled(d.Handle()) && !d.Ending();
        fail = false;
        Click(d, IDC_ACTION); // still answering
        Click(d, IDOK);       // and it finishes as it always does
    };
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(1u, messagesAfterFailure);
    EXPECT_TRUE(openAfterFailure);
    EXPECT_EQ(2, dialog.actions);
    ExpectOneUnexpected();
}

TEST_F(BoundaryTest, ThrowingInitialisationShowsOneMessageAndTheDialogOpensAllTheSame) {
    ExchangeDialog dialog;
    dialog.onInit = [] { throw std::runtime_error("the initialisation failed"); };
    bool visible = false;
    dialog.body = [&](ExchangeDialog& d) {
        visible = IsWindowVisible(d.Handle()) != FALSE;
        Click(d, IDC_ACTION);
        Click(d, IDCANCEL);
    };
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_TRUE(visible);
    EXPECT_EQ(1, dialog.actions);
    ExpectOneUnexpected();
}

// The framework's own OK handling calls the exchange: a throw there fails the reading, once.
TEST_F(BoundaryTest, ThrowingExchangeFailsTheReadingWithOneMessage) {
    ExchangeDialog dialog;
    int32_t number = 5;
    bool fail = false;
    dialog.exchange = [&](fw::DataExchange& dx) {
        dx.Int(IDC_NUMBER, number);
        if (fail && dx.Saving())
            throw std::bad_alloc();
    };
    bool endedByFailedOk = true;
    dialog.body = [&](ExchangeDialog& d) {
        SetWindowTextA(d.Item(IDC_NUMBER), "7");
        fail = true;
        Click(d, IDOK);
        endedByFailedOk = d.Ending();
        fail = false;
        Click(d, IDOK);
    };
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_FALSE(endedByFailedOk);
    EXPECT_EQ(7, number);
    ExpectOneUnexpected();
}

// Pre-translation runs in the modal loop, OnMessage in the dialog procedure: after a failure in
// either the message goes on its way and the loop keeps running.
TEST_F(BoundaryTest, ThrowingMessageHooksShowOneMessageEachAndTheLoopGoesOn) {
    constexpr UINT kFailBeforeDispatch = WM_APP + 20, kFailInHandler = WM_APP + 21,
                   kFinish = WM_APP + 22;
    ExchangeDialog dialog;
    dialog.endAfterBody = false;
    std::vector<UINT> reached;
    dialog.onPreTranslate = [](const MSG& message) {
        if (message.message == kFailBeforeDispatch)
            throw std::runtime_error("pre-translation failed");
    };
    dialog.onMessage = [&](UINT message) {
        if (message < kFailBeforeDispatch || message > kFinish)
            return;
        reached.push_back(message);
        if (message == kFailBeforeDispatch)
            PostMessageW(dialog.Handle(), kFailInHandler, 0, 0);
        if (message == kFailInHandler) {
            PostMessageW(dialog.Handle(), kFinish, 0, 0);
            throw std::logic_error("the message handler failed");
        }
        if (message == kFinish)
            dialog.EndDialog(IDOK);
    };
    dialog.body = [](ExchangeDialog& d) { PostMessageW(d.Handle(), kFailBeforeDispatch, 0, 0); };
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ((std::vector<UINT>{kFailBeforeDispatch, kFailInHandler, kFinish}), reached);
    ASSERT_EQ(2u, catcher.Messages().size());
    EXPECT_EQ(Unexpected(), catcher.Messages()[1].text);
}

constexpr UINT kRunHostedBody = WM_APP + 30;

// The grid in a dialog; its key event handler throws while `failKeys` is set.
class HostedDialog : public fw::Dialog {
public:
    HostedDialog() : Dialog(IDD_HOSTED) {}

    std::function<void(HostedDialog&)> body;
    bool failKeys = true;
    int keys = 0;
    int selections = 0;

protected:
    BOOL OnInitDialog() override {
        fw::Dialog::OnInitDialog();
        PostMessageW(Handle(), kRunHostedBody, 0, 0);
        return TRUE;
    }
    INT_PTR OnMessage(UINT message, WPARAM, LPARAM, bool& handled) override {
        if (message == kRunHostedBody) {
            handled = true;
            body(*this);
            if (!Ending())
                EndDialog(IDABORT);
        }
        return 0;
    }
    FW_DECLARE_EVENTS()

private:
    void OnKeyDown(long, long, long, long, long, long*) {
        ++keys;
        if (failKeys)
            throw std::runtime_error("the event handler failed");
    }
    void OnSelect(long, long, long) { ++selections; }
};

FW_BEGIN_EVENTS(HostedDialog)
FW_ON_EVENT(IDC_GRID, grid::kCellKeyDown, OnKeyDown)
FW_ON_EVENT(IDC_GRID, grid::kCellSelect, OnSelect)
FW_END_EVENTS()

TEST_F(BoundaryTest, ThrowingEventHandlerOfAHostedControlShowsOneMessageAndEventsGoOn) {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    HostedDialog dialog;
    size_t messagesAfterFailure = 0;
    int selectionsAfterFailure = 0;
    dialog.body = [&](HostedDialog& d) {
        HWND grid = d.Item(IDC_GRID);
        ASSERT_NE(nullptr, grid);
        SendMessageW(grid, WM_KEYDOWN, VK_DOWN, 1); // the key event's handler throws
        messagesAfterFailure = catcher.Messages().size();
        selectionsAfterFailure = d.selections;
        d.failKeys = false;
        SendMessageW(grid, WM_KEYDOWN, VK_DOWN, 1);
        SendMessageW(d.Item(IDOK), BM_CLICK, 0, 0);
    };
    const INT_PTR result = dialog.DoModal();
    OleUninitialize();
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(1u, messagesAfterFailure);
    EXPECT_EQ(2, selectionsAfterFailure); // the control went on with the key
    EXPECT_EQ(2, dialog.keys);
    EXPECT_EQ(4, dialog.selections);
    ExpectOneUnexpected();
}

// The names framework.dll exports, demangled.
std::vector<std::string> FrameworkExports() {
    std::vector<std::string> names;
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(L"framework.dll"));
    if (!base)
        return names;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        const char* name = reinterpret_cast<const char*>(base + nameOffsets[i]);
        int status = 0;
        char* plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
        names.push_back(status == 0 && plain ? plain : name);
        std::free(plain);
    }
    return names;
}

TEST(FrameworkExports, NoneTakesOrGivesAnObjectOfTheCppLibrary) {
    const std::vector<std::string> names = FrameworkExports();
    std::vector<std::string> offending;
    size_t dialogMembers = 0;
    for (const std::string& name : names) {
        if (name.find("std::") != std::string::npos)
            offending.push_back(name);
        if (name.rfind("fw::Dialog::", 0) == 0)
            ++dialogMembers;
    }
    EXPECT_GT(dialogMembers, 10u) << "the export names could not be read";
    EXPECT_EQ(std::vector<std::string>(), offending);
}

} // namespace
