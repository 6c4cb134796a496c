#pragma once
#include <windows.h>

// A borrowed list-view handle with the few operations the dialog needs to build its list.
// Every operation checks the handle first and fails on NULL or a dead window.
class ListCtrlWrapper {
public:
    explicit ListCtrlWrapper(HWND hWndList) noexcept
        : m_hWnd(hWndList)
    {
    }
    ListCtrlWrapper(const ListCtrlWrapper&) = delete;
    ListCtrlWrapper& operator=(const ListCtrlWrapper&) = delete;
    virtual ~ListCtrlWrapper() = default;

    // A column after the existing ones, with no width of its own (FitColumns sizes it).
    bool AddColumn(const char* pszText) noexcept;
    // A row at nIndex (-1 or past the end: at the end); its index, or -1. The text is
    // UTF-16, so a name in any script shows whole.
    int InsertRow(int nIndex, const wchar_t* pszText, LPARAM lParam) noexcept;
    // Sizes every column to its header; a single column fills the client width.
    bool FitColumns() noexcept;

private:
    bool IsValid() const noexcept { return m_hWnd != nullptr && ::IsWindow(m_hWnd) != FALSE; }
    int GetColumnCount() const noexcept;

    HWND m_hWnd;
};
