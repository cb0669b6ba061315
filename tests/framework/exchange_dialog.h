// A framework dialog for tests: it runs a test body once it is shown (inside its own modal
// loop), exchanges values through a function the test gives, and counts its action button.
// Its hooks let a test make the dialog's own code throw where the framework calls it.
#pragma once

#include <windows.h>

#include <functional>

#include "fw/dialog.h"
#include "fw/exchange.h"
#include "test_ids.h"

// Registers this test program's resources once, as a plug-in does at load.
void RegisterTestResources();
// Registers them again, so that they come before every module registered since.
void MoveTestResourcesToFront();

class ExchangeDialog : public fw::Dialog {
public:
    explicit ExchangeDialog(UINT id = IDD_EXCHANGE, HWND parent = nullptr) : Dialog(id, parent) {}

    // Runs once the dialog is shown; the dialog then ends with IDABORT unless the body ended it
    // or `endAfterBody` is false.
    std::function<void(ExchangeDialog&)> body;
    bool endAfterBody = true;
    std::function<void(fw::DataExchange&)> exchange;
    std::function<void()> onInit;   // at the end of OnInitDialog
    std::function<void()> onAction; // in the command handler of IDC_ACTION, after counting
    std::function<void(const MSG&)> onPreTranslate; // every message of the modal loop
    std::function<void(UINT)> onMessage;            // every message OnMessage sees, but the body's
    int actions = 0;
    int preTranslated = 0;

    using fw::Dialog::UpdateData;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    bool PreTranslateMessage(MSG* message) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    FW_DECLARE_COMMANDS()

private:
    void OnAction();
};
