// The list wrapper, the check-box list control and the row record on a list view of their
// own, outside the dialog; and the centring rule's arithmetic.
#include "config/ListCtrlWrapper.h"
#include "config/SSConfigureDlg.h"
#include "config/SaverListItem.h"
#include "config/ScreenSaverListCtrl.h"
#include "tests/config/ConfigTestSupport.h"

#include <gtest/gtest.h>

using namespace configtest;

namespace {

// A visible top-level window holding one multi-selection report list view.
class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        hWndParent = ::CreateWindowExA(0, "Static", "list test", WS_POPUP | WS_VISIBLE, 50, 50, 300,
                                       300, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        hWndList = ::CreateWindowExA(
            0, WC_LISTVIEWA, "",
            WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOCOLUMNHEADER,
            0, 0, 200, 250, hWndParent, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(hWndList, nullptr);
    }
    void TearDown() override { ::DestroyWindow(hWndParent); }

    void FillRows(int count)
    {
        ListCtrlWrapper list(hWndList);
        ASSERT_TRUE(list.AddColumn("Name"));
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(list.InsertRow(-1, (L"row " + std::to_wstring(i)).c_str(), i + 1), i);
    }

    HWND hWndParent = nullptr;
    HWND hWndList = nullptr;
};

TEST_F(ListViewTest, WrapperAddsColumnsAfterTheOthersAndRowsAtTheEnd)
{
    ListCtrlWrapper list(hWndList);
    EXPECT_TRUE(list.AddColumn("Name"));
    EXPECT_TRUE(list.AddColumn("Second"));
    HWND hWndHeader = reinterpret_cast<HWND>(::SendMessageA(hWndList, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(::SendMessageA(hWndHeader, HDM_GETITEMCOUNT, 0, 0), 2);
    char text[32] = {};
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = sizeof(text);
    ::SendMessageA(hWndList, LVM_GETCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
    EXPECT_STREQ(text, "Second");

    EXPECT_EQ(list.InsertRow(-1, L"a", 1), 0);
    EXPECT_EQ(list.InsertRow(57, L"b", 2), 1) << "past the end means at the end";
    EXPECT_EQ(list.InsertRow(0, L"c", 3), 0);
    EXPECT_EQ(RowTexts(hWndList), (std::vector<std::string>{"c", "a", "b"}));
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = 2;
    ::SendMessageA(hWndList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.lParam, 2);
}

TEST_F(ListViewTest, FitColumnsMakesTheOneColumnFillTheList)
{
    FillRows(3);
    EXPECT_TRUE(ListCtrlWrapper(hWndList).FitColumns());
    RECT rc = {};
    ::GetClientRect(hWndList, &rc);
    EXPECT_EQ(::SendMessageA(hWndList, LVM_GETCOLUMNWIDTH, 0, 0), rc.right);
}

TEST(ListCtrlWrapper, NullOrDeadHandleFailsEveryOperation)
{
    ListCtrlWrapper none(nullptr);
    EXPECT_FALSE(none.AddColumn("Name"));
    EXPECT_EQ(none.InsertRow(-1, L"x", 0), -1);
    EXPECT_FALSE(none.FitColumns());

    HWND hWnd = ::CreateWindowExA(0, WC_LISTVIEWA, "", LVS_REPORT, 0, 0, 10, 10, nullptr, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
    ::DestroyWindow(hWnd);
    ListCtrlWrapper dead(hWnd);
    EXPECT_FALSE(dead.AddColumn("Name"));
    EXPECT_EQ(dead.InsertRow(-1, L"x", 0), -1);
    EXPECT_FALSE(dead.FitColumns());
}

TEST_F(ListViewTest, AttachingSetsExactlyTheCheckBoxStylesAndReadsAndWritesTicks)
{
    FillRows(3);
    ::SendMessageA(hWndList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP);
    ScreenSaverListCtrl list;
    ASSERT_TRUE(list.AttachToControl(hWndList));
    EXPECT_EQ(::SendMessageA(hWndList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x24);
    EXPECT_EQ(list.IsItemChecked(1), 0);
    list.SetItemChecked(1, true);
    EXPECT_EQ(list.IsItemChecked(1), 1);
    EXPECT_EQ(::SendMessageA(hWndList, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK), 0x2000);
    list.SetItemChecked(1, false);
    EXPECT_EQ(::SendMessageA(hWndList, LVM_GETITEMSTATE, 1, LVIS_STATEIMAGEMASK), 0x1000);

    ScreenSaverListCtrl second;
    EXPECT_FALSE(second.AttachToControl(hWndList)) << "one object per window";
    EXPECT_FALSE(second.AttachToControl(nullptr));
}

TEST_F(ListViewTest, ApplyCheckToSelectionGivesTheOtherSelectedRowsTheRowsNextState)
{
    FillRows(4);
    ScreenSaverListCtrl list;
    ASSERT_TRUE(list.AttachToControl(hWndList));
    SelectRows(hWndList, {0, 1, 3});
    list.SetItemChecked(3, true);
    list.ApplyCheckToSelection(1);  // row 1 is cleared, so it is about to be ticked
    EXPECT_EQ(list.IsItemChecked(0), 1);
    EXPECT_EQ(list.IsItemChecked(1), 0) << "the row itself is the list view's";
    EXPECT_EQ(list.IsItemChecked(2), 0) << "not selected";
    EXPECT_EQ(list.IsItemChecked(3), 1);
    list.ApplyCheckToSelection(0);  // ticked: about to be cleared
    EXPECT_EQ(list.IsItemChecked(1), 0);
    EXPECT_EQ(list.IsItemChecked(3), 0);
    list.ApplyCheckToSelection(2);  // not selected: nothing
    EXPECT_EQ(list.IsItemChecked(0), 1);
    EXPECT_EQ(list.IsItemChecked(1), 0);
    list.ApplyCheckToSelection(-1);
    list.ApplyCheckToSelection(99);
    EXPECT_EQ(list.IsItemChecked(0), 1);
}

TEST_F(ListViewTest, MessagesGoOnToTheListViewAndOtherMapsHandleNothing)
{
    FillRows(2);
    ScreenSaverListCtrl list;
    ASSERT_TRUE(list.AttachToControl(hWndList));
    SelectRows(hWndList, {0, 1});
    ClickAt(hWndList, StateIconPoint(hWndList, 0));
    EXPECT_EQ(list.IsItemChecked(0), 1) << "the list view toggled the clicked row";
    EXPECT_EQ(list.IsItemChecked(1), 1) << "the rule ticked the other";

    // The map leaves every message unhandled; only map 0 runs the rule.
    LRESULT lResult = 0;
    EXPECT_FALSE(list.ProcessWindowMessage(hWndList, WM_KEYDOWN, VK_SPACE, 0, lResult, 1));
    EXPECT_EQ(list.IsItemChecked(1), 1);
    EXPECT_FALSE(list.ProcessWindowMessage(hWndList, WM_KEYDOWN, VK_SPACE, 0, lResult, 0));
    EXPECT_EQ(list.IsItemChecked(1), 0) << "the focused row 0 is about to be cleared";
    EXPECT_EQ(list.IsItemChecked(0), 1);
    EXPECT_FALSE(
        list.ProcessWindowMessage(hWndList, WM_LBUTTONDOWN, 0, MAKELPARAM(190, 240), lResult, 0));
    EXPECT_FALSE(list.ProcessWindowMessage(hWndList, WM_MOUSEMOVE, 0, 0, lResult, 0));

    ::DestroyWindow(hWndList);
    EXPECT_EQ(list.m_hWnd, nullptr) << "the attachment ends with the window";
}

TEST(SaverListItem, SplitsAPathIntoFolderAndFileAndJoinsThemAgain)
{
    const SaverListItem item =
        SaverListItem::FromPath("C:\\Program Files\\Savers\\Aurora.SCR", L"Aurora");
    EXPECT_EQ(item.m_strName, L"Aurora");
    EXPECT_EQ(item.m_strFolder.str(), "C:\\Program Files\\Savers");
    EXPECT_EQ(item.m_strFile.str(), "Aurora.SCR");
    EXPECT_EQ(item.GetPath().str(), "C:\\Program Files\\Savers\\Aurora.SCR");

    const SaverListItem root = SaverListItem::FromPath("C:\\file.scr", L"");
    EXPECT_EQ(root.m_strFolder.str(), "C:");
    EXPECT_EQ(root.m_strFile.str(), "file.scr");
    EXPECT_EQ(root.GetPath().str(), "C:\\file.scr");

    const SaverListItem share = SaverListItem::FromPath("\\\\server\\share\\x.scr", L"x");
    EXPECT_EQ(share.m_strFolder.str(), "\\\\server\\share");
    EXPECT_EQ(share.GetPath().str(), "\\\\server\\share\\x.scr");
}

TEST(CenteredDialogPosition, CentresOnTheReferenceAndKeepsInsideTheWorkArea)
{
    const RECT work = {0, 0, 1000, 700};
    const RECT dialog = {0, 0, 301, 201};
    POINT pt = CenteredDialogPosition(dialog, work, work);
    EXPECT_EQ(pt.x, 500 - 150);
    EXPECT_EQ(pt.y, 350 - 100);

    pt = CenteredDialogPosition(dialog, RECT{100, 100, 401, 301}, work);
    EXPECT_EQ(pt.x, 250 - 150);
    EXPECT_EQ(pt.y, 200 - 100);

    pt = CenteredDialogPosition(dialog, RECT{900, 650, 1100, 750}, work);
    EXPECT_EQ(pt.x, 1000 - 301) << "the right edge stops at the work area's";
    EXPECT_EQ(pt.y, 700 - 201);

    pt = CenteredDialogPosition(dialog, RECT{-300, -300, -100, -100}, work);
    EXPECT_EQ(pt.x, 0);
    EXPECT_EQ(pt.y, 0);

    // Larger than the work area: the left and top edges win.
    pt = CenteredDialogPosition(RECT{0, 0, 1200, 900}, work, RECT{10, 20, 1000, 700});
    EXPECT_EQ(pt.x, 10);
    EXPECT_EQ(pt.y, 20);
}

}  // namespace
