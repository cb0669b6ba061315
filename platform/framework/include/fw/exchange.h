// Data exchange between a dialog's members and its controls, with validation. After the first
// failure (one standard message shown, focus on the control) every further call does nothing,
// so the values after the failing control stay as they were.
#pragma once

#include <windows.h>

#include <cstdint>

#include "fw/export.h"
#include "fw/string.h"

namespace fw {

class Dialog;

class FW_API DataExchange {
public:
    DataExchange(Dialog& dialog, bool saving) noexcept;

    bool Saving() const { return saving_; }
    bool Failed() const { return failed_; }

    // Text of an edit or combo box as typed.
    void Text(UINT id, String& value) noexcept;
    // Combo box text: when showing, selects the first item that begins with the value (ignoring
    // case) or else sets the box's text; when saving, reads the box's text.
    void ComboText(UINT id, String& value) noexcept;
    // Whole numbers in decimal; a text that is not one fails without touching the value.
    void Int(UINT id, int32_t& value) noexcept;
    void UInt(UINT id, uint32_t& value) noexcept;
    // Index of the selected combo box item (-1: none).
    void ComboIndex(UINT id, int& index) noexcept;

    // Validation of the value just exchanged (its control gets the focus on failure). The value
    // has already been taken when these reject it.
    void MaxBytes(const String& value, size_t maxBytes) noexcept;
    // When showing: limits what can be typed, pasted or inserted into the last control (an edit,
    // or the edit of a combo box) to `maxBytes` bytes in the process ANSI code page, counting a
    // double-byte character as two. Text set by the program is not limited.
    void LimitTyping(size_t maxBytes) noexcept;
    void Range(int32_t value, int32_t min, int32_t max) noexcept;
    void Range(uint32_t value, uint32_t min, uint32_t max) noexcept;

    // Stops the exchange with a message of the caller's.
    void Fail(const wchar_t* message) noexcept;

    // Parsing used by Int/UInt: optional blanks around, optional minus sign (signed only),
    // decimal digits, no overflow.
    static bool ParseInt(const char* text, int32_t& value) noexcept;
    static bool ParseUInt(const char* text, uint32_t& value) noexcept;

private:
    HWND Prepare(UINT id) noexcept;
    void FailWithString(UINT stringId, const wchar_t* arg1 = nullptr,
                        const wchar_t* arg2 = nullptr) noexcept;

    Dialog& dialog_;
    bool saving_;
    bool failed_ = false;
    HWND last_ = nullptr;
    bool lastIsEdit_ = false;
};

// Ids of the framework's standard messages (its own string table).
enum : UINT {
    kMsgNotInteger = 0xF200,
    kMsgNotUnsigned = 0xF201,
    kMsgRange = 0xF202,
    kMsgTooLong = 0xF203,
    kMsgUnexpected = 0xF204, // a dialog's code failed with an exception; the dialog goes on
};

} // namespace fw
