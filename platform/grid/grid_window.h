// The grid's window: drawing, scrolling, the current cell, typing and keys. It raises the
// control's events through GridEvents.
#pragma once

#include <unknwn.h>
#include <windows.h>

#include <string>

#include "cell_editor.h"
#include "grid_layout.h"
#include "grid_model.h"

namespace grid {

class GridEvents {
public:
    virtual void CellSelect(Cell cell, long flag) = 0;
    // False: the handler refused the new text.
    virtual bool CellChange(Cell cell) = 0;
    // False: the handler wants the key ignored.
    virtual bool CellKeyDown(Cell cell, UINT key, long shift) = 0;

protected:
    ~GridEvents() = default;
};

class GridWindow : private CellEditor::Owner {
public:
    // `owner` is kept alive while an event runs (a handler may let go of the control).
    GridWindow(GridModel& model, GridEvents& events, IUnknown& owner);
    ~GridWindow();
    GridWindow(const GridWindow&) = delete;
    GridWindow& operator=(const GridWindow&) = delete;

    static bool RegisterWindowClass(HINSTANCE instance);
    static void UnregisterWindowClass(HINSTANCE instance);

    bool Create(HWND parent, const RECT& rect);
    void Destroy();
    HWND Handle() const { return hwnd_; }

    // After the model was changed from outside (the control's methods).
    void ContentChanged();
    void CellTextChanged(Cell cell);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void Paint(HDC dc, const RECT& area); // grid_paint.cpp
    void SetFont(HFONT font);
    void UpdateScrollBars();
    void SetBars();
    void Scroll(int bar, WORD request);
    void ScrollTo(long topRow, int left);

    void Select(Cell cell);
    void MoveBy(long columns, long rows);
    void OnKeyDown(UINT key);
    void OnChar(wchar_t c);
    void OnClick(POINT point, bool twice);
    bool OnCellRect(LPARAM request);

    void BeginEdit(const std::wstring& text, bool selectAll);
    void EditEnded(bool keep, long columns, long rows) override;
    void CommitText(Cell cell, const std::wstring& text);
    void InvalidateCell(Cell cell);

    GridModel& model_;
    GridEvents& events_;
    IUnknown& owner_;
    GridLayout layout_;
    CellEditor editor_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    Cell editCell_{0, 0};
    bool updatingBars_ = false;
    UINT cellRectMessage_ = 0;
};

} // namespace grid
