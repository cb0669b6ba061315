#include "address_step_dialog.h"

#include "fw/app.h"
#include "fw/exchange.h"
#include "resources/resource.h"

namespace marvesk {
namespace {

bool InRange(int32_t value, int32_t min, int32_t max) {
    return value >= min && value <= max;
}

} // namespace

FW_BEGIN_COMMANDS(AddressStepDialog)
FW_ON_COMMAND(IDC_BACK, BN_CLICKED, OnBack)
FW_END_COMMANDS()

AddressStepDialog::AddressStepDialog() : fw::Dialog(IDD_ADDRESS_STEP, nullptr) {}

void AddressStepDialog::DoDataExchange(fw::DataExchange& dx) {
    // The target is read first, so its failure is the one reported.
    dx.Int(IDC_TARGET, target);
    dx.Int(IDC_SOURCE, source);
}

BOOL AddressStepDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    if (!InRange(target, kMinAddress, kMaxOpeningAddress))
        target = 0;
    if (!InRange(source, kMinAddress, kMaxOpeningAddress))
        source = 0;
    UpdateData(false);
    return TRUE; // the first control in tab order, the finish button, gets the focus
}

void AddressStepDialog::OnOK() {
    if (!UpdateData(true))
        return;
    if (!InRange(target, kMinAddress, kMaxAddress)) {
        fw::ShowMessageId(Handle(), IDS_TARGET_RANGE, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!InRange(source, kMinAddress, kMaxAddress)) {
        fw::ShowMessageId(Handle(), IDS_SOURCE_RANGE, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    EndDialog(IDOK);
}

void AddressStepDialog::OnBack() {
    EndDialog(kBackResult);
}

} // namespace marvesk
