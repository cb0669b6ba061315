// The data-source dialog: a database file (path, "Browse…") or an ODBC data source (a connection
// string typed or a DSN picked from those the driver manager lists, "Test"). OK accepts a source
// only once it opens; until then the engineer sees why and may correct it or cancel.
#pragma once

#include <string>

#include "fw/dialog.h"

namespace tabulo {

class ChooseSourceDialog final : public fw::Dialog {
public:
    // `initial`: the source shown when the dialog opens (may be empty).
    explicit ChooseSourceDialog(std::wstring initial);

    // The accepted source in the ANSI code page (after OK).
    const std::string& ChosenSource() const { return chosen_; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    FW_DECLARE_COMMANDS()

private:
    void OnKindChanged();
    void OnBrowse();
    void OnTest();
    bool OdbcChosen() const;
    std::wstring ItemTextW(UINT id) const;
    void ShowNotice(const std::wstring& text, UINT icon);

    std::wstring initial_;
    std::string chosen_;
};

} // namespace tabulo
