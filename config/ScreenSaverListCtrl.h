#pragma once
#include "ui/CCheckListViewCtrlImpl.h"

// The saver list: a check-box list view, attached to the dialog's existing control, with
// one rule of its own: ticking or clearing the box of a selected row gives every selected
// row the same new state. The list view's own processing always runs after the rule.
class ScreenSaverListCtrl : public CCheckListViewCtrlImpl<ScreenSaverListCtrl> {
public:
    BEGIN_MSG_MAP(ScreenSaverListCtrl)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
        MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnLButtonDown)
        MESSAGE_HANDLER(WM_KEYDOWN, OnKeyDown)
    END_MSG_MAP()

    // Binds to an existing list view and switches on check boxes and full-row selection.
    bool AttachToControl(HWND hWndList) noexcept;
    // 1 for a ticked row, 0 for a cleared one.
    int IsItemChecked(int nItem) const noexcept;
    void SetItemChecked(int nItem, bool bChecked) const noexcept;
    // When nItem is selected: every other selected row takes the state nItem is about to get.
    void ApplyCheckToSelection(int nItem) const noexcept;

private:
    LRESULT OnLButtonDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) noexcept;
    LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) noexcept;
};
