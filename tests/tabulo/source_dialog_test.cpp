// The data-source dialog, driven from a second thread the way an engineer uses it, while the
// test's thread sits in ChooseSource (called by position). Message boxes are answered with OK
// and their texts kept.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "message_catcher.h"
#include "tabulo_ids.h"
#include "test_support.h"

namespace tabulo_test {
namespace {

struct Search {
    HWND found = nullptr;
};

BOOL CALLBACK FindSourceDialog(HWND window, LPARAM param) {
    if (IsWindowVisible(window) && GetDlgItem(window, IDC_TABULO_FILE_PATH)) {
        reinterpret_cast<Search*>(param)->found = window;
        return FALSE;
    }
    return TRUE;
}

// The dialog once it shows on `thread`, or null after ten seconds.
HWND WaitForDialog(DWORD thread) {
    const DWORD deadline = GetTickCount() + 10000;
    while (GetTickCount() < deadline) {
        Search search;
        EnumThreadWindows(thread, FindSourceDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(20);
    }
    return nullptr;
}

void SetText(HWND dialog, int id, const std::string& text) {
    const std::wstring wide(text.begin(), text.end());
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

// Synchronous: returns once the handler (and any message box it showed) is done.
void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::string Narrow(const std::wstring& wide) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], size, nullptr, nullptr);
    return text;
}

class SourceDialog : public ::testing::Test {
protected:
    // Runs ChooseSource while `drive` works the dialog from another thread.
    template <class Drive> int Choose(fw::String& source, Drive drive) {
        const DWORD self = GetCurrentThreadId();
        bool found = false, stuck = false;
        std::thread driver([&] {
            HWND dialog = WaitForDialog(self);
            found = dialog != nullptr;
            if (!dialog)
                return;
            drive(dialog);
            // A dialog still open ten seconds later is closed, so that the test ends and says so.
            const DWORD deadline = GetTickCount() + 10000;
            while (IsWindow(dialog) && IsWindowVisible(dialog) && GetTickCount() < deadline)
                Sleep(20);
            if (IsWindow(dialog) && IsWindowVisible(dialog)) {
                stuck = true;
                PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            }
        });
        const int chosen = calls_.ChooseSource(source);
        driver.join();
        EXPECT_TRUE(found) << "the data-source dialog did not show";
        EXPECT_FALSE(stuck) << "the dialog stayed open";
        for (const MessageCatcher::Seen& seen : messages_.Messages())
            std::printf("message: %s\n", Narrow(seen.text).c_str());
        return chosen;
    }
    TabuloCalls calls_{CreateTabuloObject()};
    MessageCatcher messages_;
};

TEST_F(SourceDialog, FilePathIsCheckedBeforeOk) {
    TestSource file(Engine::Sqlite);
    fw::String source;
    const int chosen = Choose(source, [&](HWND dialog) {
        Click(dialog, IDOK); // no path yet: a message, the dialog stays
        SetText(dialog, IDC_TABULO_FILE_PATH, file.source());
        Click(dialog, IDOK);
    });
    EXPECT_EQ(1, chosen);
    EXPECT_EQ(file.source(), source.str());
    ASSERT_EQ(1u, messages_.Messages().size());
    EXPECT_FALSE(messages_.Messages()[0].text.empty());
    EXPECT_EQ(0, calls_.IsOpen()) << "choosing opens nothing yet";
}

TEST_F(SourceDialog, UnopenableFileKeepsTheDialogAndCancelChoosesNothing) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    fw::String source("unchanged");
    const int chosen = Choose(source, [&](HWND dialog) {
        SetText(dialog, IDC_TABULO_FILE_PATH, folder); // a folder is no database
        Click(dialog, IDOK);
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(0, chosen);
    EXPECT_EQ("unchanged", source.str());
    ASSERT_EQ(1u, messages_.Messages().size());
    const std::wstring& text = messages_.Messages()[0].text;
    EXPECT_NE(std::wstring::npos, text.find(std::wstring(folder, folder + strlen(folder))))
        << Narrow(text);
}

TEST_F(SourceDialog, OdbcSourceIsTestedAndDataSourcesAreListed) {
    std::string why;
    ASSERT_TRUE(OdbcServerAvailable(why)) << why;
    fw::String source;
    LRESULT listed = CB_ERR;
    const int chosen = Choose(source, [&](HWND dialog) {
        SendMessageW(GetDlgItem(dialog, IDC_TABULO_ODBC_KIND), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageW(GetDlgItem(dialog, IDC_TABULO_FILE_KIND), BM_SETCHECK, BST_UNCHECKED, 0);
        Click(dialog, IDC_TABULO_ODBC_KIND);
        listed = SendMessageW(GetDlgItem(dialog, IDC_TABULO_CONNECTION), CB_FINDSTRINGEXACT,
                              static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"DSN=TabuloTest"));
        SetText(dialog, IDC_TABULO_CONNECTION, OdbcSourceWith("Pwd", "wrong"));
        Click(dialog, IDC_TABULO_TEST);
        SetText(dialog, IDC_TABULO_CONNECTION, std::getenv("TABULO_TEST_ODBC"));
        Click(dialog, IDC_TABULO_TEST);
        SetText(dialog, IDC_TABULO_CONNECTION, "TabuloTest"); // a bare data-source name
        Click(dialog, IDOK);
    });
    EXPECT_NE(CB_ERR, listed) << "the data source of the test server is offered";
    ASSERT_EQ(2u, messages_.Messages().size());
    EXPECT_NE(std::wstring::npos,
              messages_.Messages()[0].text.find(L"password authentication failed"))
        << Narrow(messages_.Messages()[0].text);
    EXPECT_NE(std::wstring::npos, messages_.Messages()[1].text.find(L"PostgreSQL"))
        << Narrow(messages_.Messages()[1].text);
    EXPECT_EQ(1, chosen);
    EXPECT_EQ("DSN=TabuloTest", source.str());
    // The data source opens by its name alone.
    EXPECT_EQ(1, calls_.OpenSource(source.str())) << calls_.LastErrorText();
    calls_.OpenSource("");
}

} // namespace
} // namespace tabulo_test
