// A framework dialog holding the grid, for tests: it runs a test body inside its modal loop and
// records every grid event its event table receives. Input goes to the grid as the window
// messages an engineer's mouse and keyboard make.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "fw/dialog.h"
#include "fw/events.h"
#include "test_grid_ids.h"

class GridDialog : public fw::Dialog {
public:
    explicit GridDialog(UINT id = IDD_GRID) : Dialog(id) {}

    std::function<void(GridDialog&)> body;
    // Runs inside every event handler, after the event was recorded.
    std::function<void(GridDialog&)> duringEvent;
    bool refuseKeys = false;
    bool refuseChanges = false;

    HWND Grid() const { return Item(IDC_GRID); }
    // "sel 2 3 1|chg 2 3|key 2 3 0 46 0", then forgets them.
    std::string TakeEvents();

    // A method by dispatch id: the numbers, then the text when given, in call order.
    HRESULT Call(DISPID id, std::vector<long> numbers, const wchar_t* text = nullptr,
                 VARIANT* result = nullptr);
    long Number(DISPID id, std::vector<long> numbers = {}); // -1 when the call failed
    std::wstring Text(long column, long row);
    void SetText(long column, long row, const wchar_t* text);

    RECT CellRect(long column, long row); // scrolls the cell into view
    void Click(long column, long row, bool twice = false);
    void Key(UINT key);
    void Type(const std::wstring& text); // characters to the focused window

protected:
    BOOL OnInitDialog() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    FW_DECLARE_EVENTS()

private:
    void OnCellSelect(long column, long row, long flag);
    void OnCellChange(long column, long row, long* accept);
    void OnCellKeyDown(long column, long row, long sheet, long key, long shift, long* process);
    void Record(const std::string& event);

    std::vector<std::string> events_;
};

// Registers the test program's resources with the framework once.
void RegisterTestResources();
