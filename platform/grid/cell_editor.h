// The edit box the grid opens over a cell while the engineer types into it.
#pragma once

#include <windows.h>

#include <string>

namespace grid {

class CellEditor {
public:
    // How the engineer left the edit box.
    struct Owner {
        // keep: take the text; (columns, rows): where the current cell moves after that.
        virtual void EditEnded(bool keep, long columns, long rows) = 0;

    protected:
        ~Owner() = default;
    };

    explicit CellEditor(Owner& owner) : owner_(owner) {}
    ~CellEditor();
    CellEditor(const CellEditor&) = delete;
    CellEditor& operator=(const CellEditor&) = delete;

    // Shows the box over `rect` of the grid window with `text`, takes the focus.
    bool Open(HWND grid, HFONT font, const RECT& rect, const std::wstring& text, bool selectAll);
    // Hides the box; the grid takes the focus back when the box had it.
    void Close();
    bool IsOpen() const { return open_; }
    std::wstring Text() const;
    HWND Handle() const { return edit_; }
    void SetFont(HFONT font);

private:
    static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    Owner& owner_;
    HWND edit_ = nullptr;
    WNDPROC editProc_ = nullptr;
    bool open_ = false;
};

} // namespace grid
