// Modal dialogs from resource templates, with a command table per dialog class and one
// data-exchange function used in both directions.
//
// Every module links its own C++ runtime, and an exception can only unwind through frames of the
// module that threw it. So framework.dll never calls a dialog's code (its virtual functions,
// command handlers and event handlers) itself: it asks the dialog's entry, an inline function
// that the derived class's constructor takes from the derived class's module, to make the call
// inside a try block there. An exception that leaves a handler ends up as one standard message
// (kMsgUnexpected), and the dialog goes on.
#pragma once

#include <windows.h>

#include <memory> // callers of this header have long found std::unique_ptr through it

#include "fw/export.h"
#include "fw/resources.h"
#include "fw/string.h"

namespace fw {

class DataExchange;
class Dialog;
class DialogControls;
struct EventEntry;

using CommandHandler = void (Dialog::*)();

// One row of a dialog's command table: WM_COMMAND from control `id` with notification `code`.
struct CommandEntry {
    UINT id;
    UINT code;
    CommandHandler handler;
};

// One call from the framework into a dialog's own code, with its arguments and results.
struct DialogCall {
    enum Kind {
        kInitDialog, // result: OnInitDialog's answer
        kOK,
        kCancel,
        kDataExchange, // exchange
        kPreTranslate, // msg; handled: PreTranslateMessage's answer
        kMessage,      // message, wParam, lParam; result, handled: OnMessage's
        kCommand,      // handler
        kCommandTable, // commands
        kEventTable,   // events
    };
    Kind kind;
    DataExchange* exchange = nullptr;
    MSG* msg = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    CommandHandler handler = nullptr;
    INT_PTR result = 0;
    bool handled = false;
    const CommandEntry* commands = nullptr;
    const EventEntry* events = nullptr;
};

// Makes `call` on `dialog`; false when the dialog's code threw (the exception is caught).
using DialogEntry = bool (*)(Dialog& dialog, DialogCall& call) noexcept;

namespace detail {
inline bool EnterDialog(Dialog& dialog, DialogCall& call) noexcept;
} // namespace detail

class FW_API Dialog {
public:
    // `parent` null: the dialog is owned by the application's main window. Leave `entry` and
    // `module` to their defaults: they are taken where the derived class is compiled, so that
    // its calls are guarded in its own module and its own template and strings come first. (A
    // base class that other modules derive from would have to pass on its callers' values.)
    explicit Dialog(UINT templateId, HWND parent = nullptr,
                    DialogEntry entry = &detail::EnterDialog, HMODULE module = ThisModule());
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog, runs its own modal loop with the owner disabled, destroys the window
    // and returns the result given to EndDialog; -1 when the dialog cannot be created.
    INT_PTR DoModal() noexcept;
    void EndDialog(INT_PTR result) noexcept;
    // True once EndDialog was called and the modal loop is about to end.
    bool Ending() const { return ended_; }

    // Moves values between members and controls: save = true reads the controls (with
    // validation), false shows the values. Returns false when a control failed validation.
    bool UpdateData(bool save = true) noexcept;

    HWND Handle() const { return hwnd_; }
    HWND Item(UINT id) const noexcept;
    UINT TemplateId() const { return templateId_; }
    // The module of the dialog's code: its template and strings are looked up there first.
    HMODULE Module() const { return module_; }

    // Small helpers over the controls (ANSI texts as the process code page has them).
    String GetItemText(UINT id) const noexcept;
    void SetItemText(UINT id, const char* text) noexcept;
    void CheckRadioButton(UINT first, UINT last, UINT checked) noexcept;
    LRESULT SendItemMessage(UINT id, UINT message, WPARAM wParam = 0,
                            LPARAM lParam = 0) const noexcept;
    // String table entry `id`, from the dialog's module first; false when there is none.
    bool LoadText(UINT id, std::wstring& text) const { return LoadChainString(id, text, module_); }

    // The property every framework dialog window carries (pointing at its Dialog object).
    static const wchar_t* WindowPropertyName() noexcept;

protected:
    virtual BOOL OnInitDialog(); // shows the values (UpdateData(false)); TRUE: default focus
    virtual void OnOK();         // UpdateData(true), then EndDialog(IDOK)
    virtual void OnCancel();     // EndDialog(IDCANCEL)
    virtual void DoDataExchange(DataExchange& dx);
    // Called for every message of the modal loop before the dialog manager; true = handled.
    virtual bool PreTranslateMessage(MSG* message);
    virtual const CommandEntry* GetCommandTable() const;
    // Events of the COM controls the template places (fw/events.h).
    virtual const EventEntry* GetEventTable() const;
    // Messages other than WM_INITDIALOG and WM_COMMAND; set `handled` to consume one.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

private:
    friend class DialogControls;
    friend bool detail::EnterDialog(Dialog& dialog, DialogCall& call) noexcept;
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool OnCommand(UINT id, UINT code);
    // Makes the call through the dialog's entry; shows the standard message when it threw.
    bool Enter(DialogCall& call);
    void ReportUnexpected();

    UINT templateId_;
    HWND parent_;
    DialogEntry entry_;
    HMODULE module_;
    HWND hwnd_ = nullptr;
    bool ended_ = false;
    bool initFailed_ = false; // reported once the dialog shows, so that the message goes over it
    INT_PTR result_ = -1;
    DialogControls* controls_ = nullptr; // the template's COM controls, while running
};

namespace detail {

// Compiled into every module that includes this header; not exported, so the copy that runs is
// the one of the module whose constructor took its address.
inline bool EnterDialog(Dialog& dialog, DialogCall& call) noexcept {
    try {
        switch (call.kind) {
        case DialogCall::kInitDialog:
            call.result = dialog.OnInitDialog();
            break;
        case DialogCall::kOK:
            dialog.OnOK();
            break;
        case DialogCall::kCancel:
            dialog.OnCancel();
            break;
        case DialogCall::kDataExchange:
            dialog.DoDataExchange(*call.exchange);
            break;
        case DialogCall::kPreTranslate:
            call.handled = dialog.PreTranslateMessage(call.msg);
            break;
        case DialogCall::kMessage:
            call.result = dialog.OnMessage(call.message, call.wParam, call.lParam, call.handled);
            break;
        case DialogCall::kCommand:
            (dialog.*call.handler)();
            break;
        case DialogCall::kCommandTable:
            call.commands = dialog.GetCommandTable();
            break;
        case DialogCall::kEventTable:
            call.events = dialog.GetEventTable();
            break;
        }
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace detail

} // namespace fw

// Command tables, in the dialog class:  FW_DECLARE_COMMANDS()
// and in its source file:
//   FW_BEGIN_COMMANDS(MyDialog)
//       FW_ON_COMMAND(12013, BN_CLICKED, OnBack)
//   FW_END_COMMANDS()
#define FW_DECLARE_COMMANDS()                                                                      \
protected:                                                                                         \
    const fw::CommandEntry* GetCommandTable() const override;

#define FW_BEGIN_COMMANDS(cls)                                                                     \
    const fw::CommandEntry* cls::GetCommandTable() const {                                         \
        using ThisClass = cls;                                                                     \
        static const fw::CommandEntry table[] = {
#define FW_ON_COMMAND(id, code, handler)                                                           \
    {(id), (code), static_cast<fw::CommandHandler>(&ThisClass::handler)},
#define FW_END_COMMANDS()                                                                          \
    { 0, 0, nullptr }                                                                              \
    }                                                                                              \
    ;                                                                                              \
    return table;                                                                                  \
    }
