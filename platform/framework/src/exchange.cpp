#include "fw/exchange.h"

#include <cctype>
#include <cstring>
#include <cwchar>
#include <string>

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

std::wstring Substitute(std::wstring text, const wchar_t* arg1, const wchar_t* arg2) {
    const wchar_t* args[] = {arg1, arg2};
    for (int i = 0; i < 2; ++i) {
        if (!args[i])
            continue;
        const std::wstring marker = i == 0 ? L"%1" : L"%2";
        for (size_t at = text.find(marker); at != std::wstring::npos;
             at = text.find(marker, at + std::wcslen(args[i])))
            text.replace(at, marker.size(), args[i]);
    }
    return text;
}

bool IsEditLike(HWND control) {
    wchar_t className[32] = {};
    GetClassNameW(control, className, 32);
    return _wcsicmp(className, L"Edit") == 0 || _wcsicmp(className, L"ComboBox") == 0;
}

} // namespace

DataExchange::DataExchange(Dialog& dialog, bool saving) : dialog_(dialog), saving_(saving) {}

bool DataExchange::ParseInt(const char* text, int32_t& value) {
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

bool DataExchange::ParseUInt(const char* text, uint32_t& value) {
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

HWND DataExchange::Prepare(UINT id) {
    last_ = dialog_.Item(id);
    lastIsEdit_ = last_ && IsEditLike(last_);
    return last_;
}

void DataExchange::Text(UINT id, String& value) {
    if (failed_ || !Prepare(id))
        return;
    if (saving_)
        value = dialog_.GetItemText(id);
    else
        SetWindowTextA(last_, value.c_str());
}

void DataExchange::ComboText(UINT id, String& value) {
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

void DataExchange::Int(UINT id, int32_t& value) {
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
        SetWindowTextA(last_, std::to_string(value).c_str());
    }
}

void DataExchange::UInt(UINT id, uint32_t& value) {
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
        SetWindowTextA(last_, std::to_string(value).c_str());
    }
}

void DataExchange::ComboIndex(UINT id, int& index) {
    if (failed_ || !Prepare(id))
        return;
    if (saving_)
        index = static_cast<int>(SendMessageW(last_, CB_GETCURSEL, 0, 0));
    else
        SendMessageW(last_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DataExchange::MaxBytes(const String& value, size_t maxBytes) {
    if (failed_ || !saving_)
        return;
    if (value.size() > maxBytes)
        FailWithString(kMsgTooLong, std::to_wstring(maxBytes).c_str());
}

void DataExchange::LimitTyping(size_t maxBytes) {
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

void DataExchange::Range(int32_t value, int32_t min, int32_t max) {
    if (failed_ || !saving_)
        return;
    if (value < min || value > max)
        FailWithString(kMsgRange, std::to_wstring(min).c_str(), std::to_wstring(max).c_str());
}

void DataExchange::Range(uint32_t value, uint32_t min, uint32_t max) {
    if (failed_ || !saving_)
        return;
    if (value < min || value > max)
        FailWithString(kMsgRange, std::to_wstring(min).c_str(), std::to_wstring(max).c_str());
}

void DataExchange::Fail(const wchar_t* message) {
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

void DataExchange::FailWithString(UINT stringId, const wchar_t* arg1, const wchar_t* arg2) {
    std::wstring text;
    if (!LoadChainString(stringId, text))
        text = L"Invalid value.";
    Fail(Substitute(text, arg1, arg2).c_str());
}

} // namespace fw
