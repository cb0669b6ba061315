#include "choose_source_dialog.h"

#include <commdlg.h>

#include <vector>

#include "fw/app.h"
#include "messages.h"
#include "names.h"
#include "odbc_backend.h"
#include "open_backend.h"
#include "tabulo_ids.h"
#include "text.h"

namespace tabulo {

FW_BEGIN_COMMANDS(ChooseSourceDialog)
FW_ON_COMMAND(IDC_TABULO_FILE_KIND, BN_CLICKED, OnKindChanged)
FW_ON_COMMAND(IDC_TABULO_ODBC_KIND, BN_CLICKED, OnKindChanged)
FW_ON_COMMAND(IDC_TABULO_BROWSE, BN_CLICKED, OnBrowse)
FW_ON_COMMAND(IDC_TABULO_TEST, BN_CLICKED, OnTest)
FW_END_COMMANDS()

ChooseSourceDialog::ChooseSourceDialog(std::wstring initial)
    : fw::Dialog(IDD_TABULO_SOURCE), initial_(std::move(initial)) {}

BOOL ChooseSourceDialog::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    for (const std::wstring& name : OdbcBackend::ListDataSources()) {
        const std::wstring item = L"DSN=" + name;
        SendItemMessage(IDC_TABULO_CONNECTION, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(item.c_str()));
    }
    const bool odbc = IsOdbcSource(initial_);
    SetWindowTextW(Item(odbc ? IDC_TABULO_CONNECTION : IDC_TABULO_FILE_PATH), initial_.c_str());
    CheckRadioButton(IDC_TABULO_FILE_KIND, IDC_TABULO_ODBC_KIND,
                     odbc ? IDC_TABULO_ODBC_KIND : IDC_TABULO_FILE_KIND);
    OnKindChanged();
    return TRUE;
}

bool ChooseSourceDialog::OdbcChosen() const {
    return SendItemMessage(IDC_TABULO_ODBC_KIND, BM_GETCHECK) == BST_CHECKED;
}

std::wstring ChooseSourceDialog::ItemTextW(UINT id) const {
    HWND control = Item(id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], length + 1)));
    return text;
}

void ChooseSourceDialog::ShowNotice(const std::wstring& text, UINT icon) {
    fw::ShowMessageW(Handle(), text.c_str(), MB_OK | icon);
}

void ChooseSourceDialog::OnKindChanged() {
    const bool odbc = OdbcChosen();
    EnableWindow(Item(IDC_TABULO_FILE_PATH), !odbc);
    EnableWindow(Item(IDC_TABULO_BROWSE), !odbc);
    EnableWindow(Item(IDC_TABULO_CONNECTION), odbc);
    EnableWindow(Item(IDC_TABULO_TEST), odbc);
}

void ChooseSourceDialog::OnBrowse() {
    // The filter is "name|pattern|..." in the string table; the dialog wants NULs.
    std::wstring filter = FormatText(IDS_FILE_FILTER);
    for (wchar_t& c : filter) {
        if (c == L'|')
            c = L'\0';
    }
    filter += L'\0';
    std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
    const std::wstring current = ItemTextW(IDC_TABULO_FILE_PATH);
    if (current.size() < path.size())
        current.copy(path.data(), current.size());
    OPENFILENAMEW request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = Handle();
    request.lpstrFilter = filter.c_str();
    request.lpstrFile = path.data();
    request.nMaxFile = static_cast<DWORD>(path.size());
    request.lpstrDefExt = L"db";
    // A new file is fine: the database is created when it is opened.
    request.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (GetSaveFileNameW(&request))
        SetWindowTextW(Item(IDC_TABULO_FILE_PATH), path.data());
}

void ChooseSourceDialog::OnTest() {
    const std::wstring connection = ItemTextW(IDC_TABULO_CONNECTION);
    if (connection.find_first_not_of(L" \t") == std::wstring::npos) {
        ShowNotice(FormatText(IDS_ENTER_CONNECTION), MB_ICONWARNING);
        return;
    }
    std::wstring message;
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const bool connected = TestOdbcSource(connection, message);
    SetCursor(previous);
    ShowNotice(message, connected ? MB_ICONINFORMATION : MB_ICONWARNING);
}

void ChooseSourceDialog::OnOK() {
    const bool odbc = OdbcChosen();
    const UINT id = odbc ? IDC_TABULO_CONNECTION : IDC_TABULO_FILE_PATH;
    std::wstring source = ItemTextW(id);
    // A bare data-source name is as good as "DSN=name".
    if (odbc && source.find(L'=') == std::wstring::npos &&
        source.find_first_not_of(L" \t") != std::wstring::npos)
        source = L"DSN=" + source;
    if (source.find_first_not_of(L" \t") == std::wstring::npos) {
        ShowNotice(FormatText(odbc ? IDS_ENTER_CONNECTION : IDS_ENTER_PATH), MB_ICONWARNING);
        SetFocus(Item(id));
        return;
    }
    // The caller gets ANSI text: a path it cannot hold would name another file.
    std::string ansi;
    if (!WideToAnsiExact(source, ansi)) {
        ShowNotice(FormatText(IDS_PATH_NOT_ANSI), MB_ICONWARNING);
        SetFocus(Item(id));
        return;
    }
    // A file name that looks like a connection string would be taken for one later.
    if (!odbc && IsOdbcSource(source)) {
        ShowNotice(FormatText(IDS_ENTER_PATH), MB_ICONWARNING);
        SetFocus(Item(id));
        return;
    }
    if (odbc && !IsOdbcSource(source)) {
        ShowNotice(FormatText(IDS_ENTER_CONNECTION), MB_ICONWARNING);
        SetFocus(Item(id));
        return;
    }
    std::wstring message;
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const bool opens = OpenBackend(source, message) != nullptr;
    SetCursor(previous);
    if (!opens) {
        ShowNotice(message, MB_ICONWARNING);
        SetFocus(Item(id));
        return;
    }
    chosen_ = ansi;
    EndDialog(IDOK);
}

} // namespace tabulo
