#include "fw/exchange.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "byte_limit.h"

#include "fw/app.h"
#include "fw/dialog.h"
#include "fw/resources.h"

namespace fw {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Digits with optional blanks around; the magnitude may not exceed `limit`.
bool ParseMagnitude(const char*& p, uint64_t limit, uint64_t& magnitude) {
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return false;
    magnitude = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        if (magnitude > limit)
            return false;
        ++p;
    }
    while (IsBlank(*p))
        ++p;
    return *p == '\0';
}

// The message text with %1 and %2 replaced, cut to fit `out` (which it always terminates).
template <size_t N>
void Substitute(const wchar_t* text, size_t length, const wchar_t* arg1, const wchar_t* arg2,
                wchar_t (&out)[N]) {
    size_t used = 0;
    auto put = [&](wchar_t c) {
        if (used + 1 < N)
            out[used++] = c;
    };
    for (size_t i = 0; i < length; ++i) {
        const wchar_t* arg = nullptr;
        if (text[i] == L'%' && i + 1 < length)
            arg = text[i + 1] == L'1' ? arg1 : text[i + 1] == L'2' ? arg2 : nullptr;
        if (arg) {
            for (; *arg; ++arg)
                put(*arg);
            ++i;
        } else {
            put(text[i]);
        }
    }
    out[used] = L'\0';
}

bool IsEditLike(HWND control) {
    wchar_t className[32] = {};
    GetClassNameW(control, className, 32);
    return _wcsicmp(className, L"Edit") == 0 || _wcsicmp(className, L"ComboBox") == 0;
}

} // namespace

DataExchange::DataExchange(Dialog& dialog, bool saving) noexcept
    : dialog_(dialog), saving_(saving) {}

bool DataExchange::ParseInt(const char* text, int32_t& value) noexcept {
    if (!text)
        return false;
    const char* p = text;
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    uint64_t magnitude = 0;
    if (!ParseMagnitude(p, negative ? 2147483648ULL : 2147483647ULL, magnitude))
        return false;
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                     : static_cast<int32_t>(magnitude);
    return true;
}

bool DataExchange::ParseUInt(const char* text, uint32_t& value) noexcept {
    if (!text)
        return false;
    const char* p = text;
    while (IsBlank(*p))
        ++p;
    uint64_t magnitude = 0;
    if (!ParseMagnitude(p, 4294967295ULL, magnitude))
        return false;
    value = static_cast<uint32_t>(magnitude);
    return true;
}

HWND DataExchange::Prepare(UINT id) noexcept {
    last_ = dialog_.Item(id);
    lastIsEdit_ = last_ && IsEditLike(last_);
    return last_;
}

void DataExchange::Text(UINT id, String& value) noexcept {
    if (failed_ || !Prepare(id))
        return;
    if (saving_)
        value = dialog_.GetItemText(id);
    else
        SetWindowTextA(last_, value.c_str());
}

void DataExchange::ComboText(UINT id, String& value) noexcept {
    if (failed_ || !Prepare(id))
        return;
    if (saving_) {
        value = dialog_.GetItemText(id);
        return;
    }
    // CB_SELECTSTRING matches a prefix, ignoring case; no notification is raised.
    if (value.empty() || SendMessageA(last_, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                      reinterpret_cast<LPARAM>(value.c_str())) == CB_ERR)
        SetWindowTextA(last_, value.c_str());
}

void DataExchange::Int(UINT id, int32_t& value) noexcept {
    if (failed_ || !Prepare(id))
        return;
    if (saving_) {
        int32_t parsed = 0;
        if (!ParseInt(dialog_.GetItemText(id).c_str(), parsed)) {
            FailWithString(kMsgNotInteger);
            return;
        }
        value = parsed;
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
        SetWindowTextA(last_, text);
    }
}

void DataExchange::UInt(UINT id, uint32_t& value) noexcept {
    if (failed_ || !Prepare(id))
        return;
    if (saving_) {
        uint32_t parsed = 0;
        if (!ParseUInt(dialog_.GetItemText(id).c_str(), parsed)) {
            FailWithString(kMsgNotUnsigned);
            return;
        }
        value = parsed;
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(value));
        SetWindowTextA(last_, text);
    }
}

void DataExchange::ComboIndex(UINT id, int& index) noexcept {
    if (failed_ || !Prepare(id))
        return;
    if (saving_)
        index = static_cast<int>(SendMessageW(last_, CB_GETCURSEL, 0, 0));
    else
        SendMessageW(last_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DataExchange::MaxBytes(const String& value, size_t maxBytes) noexcept {
    if (failed_ || !saving_)
        return;
    if (value.size() > maxBytes) {
        wchar_t limit[16];
        std::swprintf(limit, 16, L"%lu", static_cast<unsigned long>(maxBytes));
        FailWithString(kMsgTooLong, limit);
    }
}

void DataExchange::LimitTyping(size_t maxBytes) noexcept {
    if (failed_ || saving_ || !last_)
        return;
    wchar_t className[32] = {};
    GetClassNameW(last_, className, 32);
    const bool combo = _wcsicmp(className, L"ComboBox") == 0;
    // The control's own limit counts UTF-16 units; at twice the bytes it never cuts what the
    // byte count lets through (a surrogate pair is at least one byte), and it still bounds what
    // the byte count does not see (an input method's composition).
    const size_t units = maxBytes > 0x3FFFFFFF ? 0x7FFFFFFF : maxBytes * 2;
    SendMessageW(last_, combo ? CB_LIMITTEXT : EM_LIMITTEXT, units, 0);
    HWND edit = last_;
    if (combo) {
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        edit = GetComboBoxInfo(last_, &info) ? info.hwndItem : nullptr;
        if (!edit || edit == last_)
            return; // a drop-down list: nothing to type into
    }
    LimitEditBytes(edit, maxBytes);
}

void DataExchange::Range(int32_t value, int32_t min, int32_t max) noexcept {
    if (failed_ || !saving_)
        return;
    if (value < min || value > max) {
        wchar_t low[16], high[16];
        std::swprintf(low, 16, L"%ld", static_cast<long>(min));
        std::swprintf(high, 16, L"%ld", static_cast<long>(max));
        FailWithString(kMsgRange, low, high);
    }
}

void DataExchange::Range(uint32_t value, uint32_t min, uint32_t max) noexcept {
    if (failed_ || !saving_)
        return;
    if (value < min || value > max) {
        wchar_t low[16], high[16];
        std::swprintf(low, 16, L"%lu", static_cast<unsigned long>(min));
        std::swprintf(high, 16, L"%lu", static_cast<unsigned long>(max));
        FailWithString(kMsgRange, low, high);
    }
}

void DataExchange::Fail(const wchar_t* message) noexcept {
    if (failed_)
        return;
    failed_ = true;
    ShowMessageW(dialog_.Handle(), message, MB_OK | MB_ICONEXCLAMATION);
    if (last_) {
        SetFocus(last_);
        if (lastIsEdit_) {
            wchar_t className[32] = {};
            GetClassNameW(last_, className, 32);
            if (_wcsicmp(className, L"ComboBox") == 0)
                SendMessageW(last_, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
            else
                SendMessageW(last_, EM_SETSEL, 0, -1);
        }
    }
}

void DataExchange::FailWithString(UINT stringId, const wchar_t* arg1,
                                  const wchar_t* arg2) noexcept {
    const wchar_t* text = L"Invalid value.";
    size_t length = std::wcslen(text);
    FindChainString(stringId, text, length, dialog_.Module());
    wchar_t message[1024];
    Substitute(text, length, arg1, arg2, message);
    Fail(message);
}

} // namespace fw
