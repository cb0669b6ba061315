// The address step: a modal dialog that edits the source and the target address.
#pragma once

#include <cstdint>

#include "fw/dialog.h"

namespace marvesk {

class AddressStepDialog : public fw::Dialog {
public:
    AddressStepDialog();

    int32_t source = 0;
    int32_t target = 0;

    // Addresses the step accepts at OK, both bounds included.
    static constexpr int32_t kMinAddress = 0;
    static constexpr int32_t kMaxAddress = 15999;
    // Values from the host outside 0..4096 open as 0.
    static constexpr int32_t kMaxOpeningAddress = 4096;
    // The dialog's result for the Back button (the wizard goes back one step).
    static constexpr INT_PTR kBackResult = 100;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    FW_DECLARE_COMMANDS()

private:
    void OnBack();
};

} // namespace marvesk
