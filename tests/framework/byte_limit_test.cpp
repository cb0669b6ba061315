// Typing limits in bytes of the ANSI code page: the values end up as ANSI bytes, so a limit of
// 16 must hold 8 Chinese characters of code page 936, not 16.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "exchange_dialog.h"
#include "fw/string.h"

namespace {

constexpr size_t kLimit = 16;
const std::wstring kNine = L"一二三四五六七八九";

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

size_t Bytes(const std::wstring& text) {
    return fw::ToAnsi(text.c_str()).size();
}

// One message per UTF-16 unit, as the keyboard (or an input method) delivers them, and what
// the edit posts in turn (Wine's edit passes WM_IME_CHAR on as a posted WM_CHAR).
void Type(HWND edit, const std::wstring& text, UINT message = WM_CHAR) {
    for (wchar_t c : text)
        SendMessageW(edit, message, c, 1);
    MSG posted;
    while (PeekMessageW(&posted, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&posted);
        DispatchMessageW(&posted);
    }
}

void Replace(HWND edit, const wchar_t* text) {
    SetWindowTextW(edit, text);
    const LPARAM end = static_cast<LPARAM>(std::wcslen(text));
    SendMessageW(edit, EM_SETSEL, end, end);
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
    if (!OpenClipboard(owner))
        return false;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool put = false;
    if (memory) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!put)
            GlobalFree(memory);
    }
    CloseClipboard();
    return put;
}

class ByteLimitTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestResources();
        if (GetACP() != 936)
            GTEST_SKIP() << "needs code page 936 (the tests run in the Chinese locale)";
    }

    // Runs `body` with the text edit limited to kLimit bytes.
    void WithLimitedEdit(const std::function<void(ExchangeDialog&, HWND)>& body) {
        ExchangeDialog dialog;
        fw::String text;
        dialog.exchange = [&](fw::DataExchange& dx) {
            dx.Text(IDC_TEXT, text);
            dx.LimitTyping(kLimit);
        };
        bool ran = false;
        dialog.body = [&](ExchangeDialog& d) {
            ran = true;
            body(d, d.Item(IDC_TEXT));
        };
        dialog.DoModal();
        EXPECT_TRUE(ran);
    }
};

TEST_F(ByteLimitTest, TypingStopsAtTheLimitCountingDoubleByteCharactersAsTwo) {
    WithLimitedEdit([](ExchangeDialog&, HWND edit) {
        Type(edit, kNine);
        EXPECT_EQ(kNine.substr(0, 8), TextOf(edit));
        // Editing keys still work on a full edit, and the room they free is counted in bytes.
        Type(edit, L"\b");
        Type(edit, L"abc");
        EXPECT_EQ(L"一二三四五六七ab", TextOf(edit));
        // Typing over a selection weighs what it replaces.
        SendMessageW(edit, EM_SETSEL, 7, 9);
        Type(edit, L"十");
        EXPECT_EQ(L"一二三四五六七十", TextOf(edit));

        Replace(edit, L"");
        Type(edit, L"abcdefghijklmnopqrst");
        EXPECT_EQ(L"abcdefghijklmnop", TextOf(edit));

        // Mixed: a double-byte character that would make 17 bytes is left out, a later
        // single-byte one still fits.
        Replace(edit, L"");
        Type(edit, L"温度 Temp 12345");
        Type(edit, L"度x");
        EXPECT_EQ(L"温度 Temp 12345x", TextOf(edit));
        EXPECT_EQ(kLimit, Bytes(TextOf(edit)));

        // An input method's characters count the same way.
        Replace(edit, L"abcdefghijklmno");
        Type(edit, L"温p", WM_IME_CHAR);
        EXPECT_EQ(L"abcdefghijklmnop", TextOf(edit));
    });
}

TEST_F(ByteLimitTest, SurrogatePairIsTakenWholeOrNotAtAll) {
    const std::wstring pair = L"\U00020000";
    const size_t pairBytes = Bytes(pair);
    ASSERT_GE(pairBytes, 1u);
    WithLimitedEdit([&](ExchangeDialog&, HWND edit) {
        const std::wstring room(kLimit - pairBytes, L'a');
        Replace(edit, room.c_str());
        Type(edit, pair);
        EXPECT_EQ(room + pair, TextOf(edit));
        // One byte short: neither half goes in.
        const std::wstring tooLittle = room + L"a";
        Replace(edit, tooLittle.c_str());
        Type(edit, pair);
        EXPECT_EQ(tooLittle, TextOf(edit));
    });
}

TEST_F(ByteLimitTest, PastedAndInsertedTextIsCutToWholeCharactersThatFit) {
    WithLimitedEdit([](ExchangeDialog& d, HWND edit) {
        ASSERT_TRUE(PutOnClipboard(d.Handle(), L"温度温度温度温度温度"));
        Replace(edit, L"abc");
        SendMessageW(edit, WM_PASTE, 0, 0);
        EXPECT_EQ(L"abc温度温度温度", TextOf(edit)); // 15 bytes: the next one would make 17

        // Ctrl+V takes the same way; a single-line edit pastes the first line only.
        ASSERT_TRUE(PutOnClipboard(d.Handle(), L"Dev.1\r\nDev.2"));
        Replace(edit, L"");
        Type(edit, L"\x16");
        EXPECT_EQ(L"Dev.1", TextOf(edit));

        // Text another window inserts is cut as well.
        Replace(edit, L"abcdefghijklmn");
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"温度"));
        EXPECT_EQ(L"abcdefghijklmn温", TextOf(edit));
    });
}

TEST_F(ByteLimitTest, ProgramTextIsNotCutAndComboEditsCountBytesToo) {
    ExchangeDialog dialog;
    fw::String text = "abc", server;
    dialog.exchange = [&](fw::DataExchange& dx) {
        dx.Text(IDC_TEXT, text);
        dx.LimitTyping(kLimit);
        dx.ComboText(IDC_COMBO, server);
        dx.LimitTyping(kLimit);
    };
    std::wstring set, typed;
    dialog.body = [&](ExchangeDialog& d) {
        // What the program sets stays whole; the validation of the value reports it.
        SetWindowTextW(d.Item(IDC_TEXT), (kNine + kNine).c_str());
        set = TextOf(d.Item(IDC_TEXT));
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetComboBoxInfo(d.Item(IDC_COMBO), &info));
        Type(info.hwndItem, kNine);
        typed = TextOf(d.Item(IDC_COMBO));
    };
    dialog.DoModal();
    EXPECT_EQ(kNine + kNine, set);
    EXPECT_EQ(kNine.substr(0, 8), typed);
}

} // namespace
