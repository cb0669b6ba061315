#include "exchange_dialog.h"

#include <gtest/gtest.h>

#include "fw/resources.h"

namespace {

constexpr UINT kRunBody = WM_APP + 7;
fw::ExtensionModule gTestModule;

} // namespace

void RegisterTestResources() {
    if (!gTestModule.initialized) {
        ASSERT_TRUE(fw::InitExtensionModule(gTestModule, GetModuleHandleW(nullptr)));
        ASSERT_TRUE(fw::AddResourceModule(gTestModule));
    }
}

void MoveTestResourcesToFront() {
    fw::TermExtensionModule(gTestModule);
    RegisterTestResources();
}

FW_BEGIN_COMMANDS(ExchangeDialog)
FW_ON_COMMAND(IDC_ACTION, BN_CLICKED, OnAction)
FW_END_COMMANDS()

BOOL ExchangeDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    PostMessageW(Handle(), kRunBody, 0, 0);
    if (onInit)
        onInit();
    return TRUE;
}

void ExchangeDialog::DoDataExchange(fw::DataExchange& dx) {
    if (exchange)
        exchange(dx);
}

bool ExchangeDialog::PreTranslateMessage(MSG* message) {
    if (message->message == kRunBody)
        ++preTranslated;
    if (onPreTranslate)
        onPreTranslate(*message);
    return false;
}

INT_PTR ExchangeDialog::OnMessage(UINT message, WPARAM, LPARAM, bool& handled) {
    if (message == kRunBody) {
        handled = true;
        if (body)
            body(*this);
        if (endAfterBody && !Ending())
            EndDialog(IDABORT);
    } else if (onMessage) {
        onMessage(message);
    }
    return 0;
}

void ExchangeDialog::OnAction() {
    ++actions;
    if (onAction)
        onAction();
}
