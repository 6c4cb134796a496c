// The configuration dialog run modally from template 203 and driven from inside its own
// message loop: the list, the check-box rule, the options, OK's checks and what it stores.
#include "config/SSConfigureDlg.h"

#include "settings/SSSettings.h"
#include "tests/config/ConfigTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace configtest;

namespace {

const char kZeroDelayMessage[] = "ERROR:  Please enter a delay of at least one minute.";

HWND List(HWND hWndDialog) { return ::GetDlgItem(hWndDialog, IDC_SAVER_LIST); }
HWND Item(HWND hWndDialog, int id) { return ::GetDlgItem(hWndDialog, id); }
bool IsChecked(HWND hWndDialog, int id)
{
    return ::IsDlgButtonChecked(hWndDialog, id) == BST_CHECKED;
}
bool IsEnabled(HWND hWndDialog, int id) { return ::IsWindowEnabled(Item(hWndDialog, id)) != FALSE; }

std::vector<bool> Ticks(HWND hWndList)
{
    std::vector<bool> ticks;
    for (int i = 0; i < RowCount(hWndList); ++i)
        ticks.push_back(IsRowTicked(hWndList, i));
    return ticks;
}

struct IconSearch {
    HICON hIcon;
    bool found;
};

// A named CALLBACK, not a lambda: the 32-bit build's callbacks are stdcall.
BOOL CALLBACK MatchIcon(HWND hWnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<IconSearch*>(lParam);
    s->found =
        s->found || reinterpret_cast<HICON>(::SendMessageA(hWnd, STM_GETICON, 0, 0)) == s->hIcon;
    return TRUE;
}

// The system's icons are shared handles, so the one a message box shows compares equal.
bool ShowsIcon(HWND hWndBox, HICON hIcon)
{
    IconSearch search = {hIcon, false};
    ::EnumChildWindows(hWndBox, MatchIcon, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A scratch HKCU whose settings search one folder of fixture copies.
class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        aurora = folder.Add(fixture::kSampleAurora.fileName);
        tiles = folder.Add(fixture::kSampleTiles.fileName);
        bounce = folder.Add(fixture::kSampleBounce.fileName);
        WriteFolders({folder.Path()});
    }

    // The settings as a new process would load them from the registry now.
    SSSettings& Loaded()
    {
        settings = SSSettings();
        settings.Load();
        return settings;
    }

    ScratchRegistry registry;
    ScratchSaverFolder folder;
    SSSettings settings;
    std::string aurora, tiles, bounce;
};

TEST_F(ConfigDialogTest, ListsEverySaverByDescriptionSortedAndTickedWhenSelected)
{
    const std::string noDescription = folder.Add(fixture::kNoDescription.fileName);
    const std::string longDescription = folder.Add(fixture::kLongDescription.fileName);
    const std::string twin = folder.Add(fixture::kSampleAurora.fileName, "AuroraTwin.scr");
    WriteSavers({tiles, twin});
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([&](HWND hWnd) {
            EXPECT_EQ(WindowText(hWnd), kDialogTitle);
            HWND hWndList = List(hWnd);
            const std::vector<std::string> expected = {
                std::string(FIXTURE_DESCRIPTION_LONG).substr(0, 47),
                "NoDescription",
                FIXTURE_DESCRIPTION_SAMPLE_AURORA,
                FIXTURE_DESCRIPTION_SAMPLE_AURORA,
                FIXTURE_DESCRIPTION_SAMPLE_BOUNCE,
                FIXTURE_DESCRIPTION_SAMPLE_TILES};
            EXPECT_EQ(RowTexts(hWndList), expected);
            EXPECT_EQ(dlg.GetRecordCount(), expected.size());

            // Each row's record tells where its file is; only the stored savers are ticked.
            for (int i = 0; i < RowCount(hWndList); ++i) {
                LVITEMA item = {};
                item.mask = LVIF_PARAM;
                item.iItem = i;
                ::SendMessageA(hWndList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
                const auto* pItem = reinterpret_cast<const SaverListItem*>(item.lParam);
                EXPECT_NE(pItem, nullptr);
                if (pItem == nullptr)
                    continue;
                EXPECT_EQ(pItem->m_strFolder.str(), folder.Path());
                EXPECT_EQ(Utf8(pItem->m_strName), RowText(hWndList, i));
                const std::string path = pItem->GetPath().str();
                EXPECT_EQ(IsRowTicked(hWndList, i), path == tiles || path == twin) << path;
            }

            EXPECT_EQ(::SendMessageA(hWndList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0),
                      LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
            HWND hWndHeader = reinterpret_cast<HWND>(::SendMessageA(hWndList, LVM_GETHEADER, 0, 0));
            EXPECT_EQ(::SendMessageA(hWndHeader, HDM_GETITEMCOUNT, 0, 0), 2) << "name, status";
            char text[32] = {};
            LVCOLUMNA column = {};
            column.mask = LVCF_TEXT;
            column.pszText = text;
            column.cchTextMax = sizeof(text);
            ::SendMessageA(hWndList, LVM_GETCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
            EXPECT_STREQ(text, "Name");
            RECT rcClient = {};
            ::GetClientRect(hWndList, &rcClient);
            EXPECT_EQ(::SendMessageA(hWndList, LVM_GETCOLUMNWIDTH, 0, 0) +
                          ::SendMessageA(hWndList, LVM_GETCOLUMNWIDTH, 1, 0),
                      rcClient.right)
                << "the names and the status column fill the list";
            for (int i = 0; i < RowCount(hWndList); ++i)
                EXPECT_EQ(RowText(hWndList, i, 1), "") << "nothing to report";

            // Stored defaults of a new user: one saver each time, 5 minutes, no desktop.
            EXPECT_TRUE(IsChecked(hWnd, IDC_CYCLE_ONCE));
            EXPECT_FALSE(IsChecked(hWnd, IDC_CYCLE_EVERY));
            EXPECT_EQ(WindowText(Item(hWnd, IDC_DELAY)), "5");
            EXPECT_FALSE(IsEnabled(hWnd, IDC_DELAY));
            EXPECT_FALSE(IsEnabled(hWnd, IDC_SHOW_DESKTOP));
            EXPECT_FALSE(IsChecked(hWnd, IDC_SHOW_DESKTOP));
            EXPECT_EQ(::GetFocus(), hWndList) << "the first tab stop has the focus";
            return true;
        })
        .Then(PostClick(IDCANCEL));
    EXPECT_EQ(script.Run(dlg), IDCANCEL);
    EXPECT_EQ(dlg.GetRecordCount(), 0u) << "the records go with the window";
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}

// Names in other scripts show every character (read back in UTF-16) and sort after the
// Latin ones as the locale orders scripts; ASCII names keep the order lstrcmpiA gives them.
TEST_F(ConfigDialogTest, ListsNamesOfEveryScriptWholeBesideAsciiNamesInTheirOrder)
{
    // File-name descriptions that an order by code units would place elsewhere.
    for (const char* name : {"apple.scr", "co-op.scr", "Coal.scr"})
        folder.Add(fixture::kNoDescription.fileName, name);
    const std::string greek = folder.Add(fixture::kGreek.fileName);
    folder.Add(fixture::kJapanese.fileName);
    folder.Add(fixture::kCyrillic.fileName);
    folder.Add(fixture::kAstralCut.fileName);
    WriteSavers({greek});
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([&](HWND hWnd) {
            std::vector<std::string> expected = {"apple",
                                                 "co-op",
                                                 "Coal",
                                                 fixture::kAstralCutKept,
                                                 FIXTURE_DESCRIPTION_SAMPLE_AURORA,
                                                 FIXTURE_DESCRIPTION_SAMPLE_BOUNCE,
                                                 FIXTURE_DESCRIPTION_SAMPLE_TILES};
            std::stable_sort(expected.begin(), expected.end(),
                             [](const std::string& a, const std::string& b) {
                                 return ::lstrcmpiA(a.c_str(), b.c_str()) < 0;
                             });
            expected.insert(expected.end(),
                            {FIXTURE_DESCRIPTION_GREEK, FIXTURE_DESCRIPTION_CYRILLIC,
                             FIXTURE_DESCRIPTION_JAPANESE});
            HWND hWndList = List(hWnd);
            EXPECT_EQ(RowTexts(hWndList), expected);
            EXPECT_TRUE(IsRowTicked(hWndList, FindRow(hWndList, FIXTURE_DESCRIPTION_GREEK)));
            return true;
        })
        .Then(PostClick(IDOK));
    EXPECT_EQ(script.Run(dlg), IDOK);
    EXPECT_EQ(ReadSavers(), std::vector<std::string>{greek}) << "the path is stored as it was";
}

TEST_F(ConfigDialogTest, StoredCyclingOpensWithTheDelayAndDesktopOptionsEnabled)
{
    WriteDword("ShuffleSavers", 1);
    WriteDword("ShuffleDelay", 12);
    WriteDword("ShowDesktop", 1);
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            EXPECT_TRUE(IsChecked(hWnd, IDC_CYCLE_EVERY));
            EXPECT_FALSE(IsChecked(hWnd, IDC_CYCLE_ONCE));
            EXPECT_TRUE(IsEnabled(hWnd, IDC_DELAY));
            EXPECT_TRUE(IsEnabled(hWnd, IDC_SHOW_DESKTOP));
            EXPECT_TRUE(IsChecked(hWnd, IDC_SHOW_DESKTOP));
            EXPECT_EQ(WindowText(Item(hWnd, IDC_DELAY)), "12");
            return true;
        })
        .Then(PostClick(IDCANCEL));
    script.Run(dlg);
}

// The monitor list comes after the design's controls in the tab order, offers the three
// modes and opens on the stored one; OK stores the choice, Cancel does not.
TEST_F(ConfigDialogTest, MonitorListShowsTheStoredModeAndOnlyOkStoresTheChoice)
{
    WriteDword("MonitorMode", 1);
    for (const int button : {IDCANCEL, IDOK}) {
        SSConfigureDlg dlg(Loaded());
        ModalScript script;
        script
            .Then([](HWND hWnd) {
                HWND hWndMode = Item(hWnd, IDC_MONITOR_MODE);
                EXPECT_EQ(::GetNextDlgTabItem(hWnd, Item(hWnd, IDCANCEL), FALSE), hWndMode);
                EXPECT_EQ(::SendMessageA(hWndMode, CB_GETCOUNT, 0, 0), 3);
                EXPECT_EQ(::SendMessageA(hWndMode, CB_GETCURSEL, 0, 0), 1);
                EXPECT_EQ(WindowText(hWndMode), "A different saver on each monitor");
                ::SendMessageA(hWndMode, CB_SETCURSEL, 2, 0);
                return true;
            })
            .Then(PostClick(button));
        EXPECT_EQ(script.Run(dlg), button);
        DWORD value = 0;
        EXPECT_TRUE(ReadDword("MonitorMode", &value));
        EXPECT_EQ(value, button == IDOK ? 2u : 1u);
    }
}

TEST_F(ConfigDialogTest, ClickOnTheBoxOfASelectedRowTicksAndClearsEverySelectedRow)
{
    folder.Add(fixture::kNoDescription.fileName);
    folder.Add(fixture::kLongDescription.fileName);
    WriteSavers({});  // a stored, empty selection: every row starts cleared
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(RowCount(hWndList), 5);
            EXPECT_EQ(Ticks(hWndList), std::vector<bool>(5, false));
            SelectRows(hWndList, {0, 2, 3});
            ClickAt(hWndList, StateIconPoint(hWndList, 2));
            return true;
        })
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(Ticks(hWndList), (std::vector<bool>{true, false, true, true, false}));
            EXPECT_TRUE(IsRowSelected(hWndList, 0) && IsRowSelected(hWndList, 2) &&
                        IsRowSelected(hWndList, 3));
            // A click on another selected row's box clears all three the same way.
            ClickAt(hWndList, StateIconPoint(hWndList, 0));
            return true;
        })
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(Ticks(hWndList), std::vector<bool>(5, false));
            // The box of a row outside the selection changes that row alone.
            ClickAt(hWndList, StateIconPoint(hWndList, 4));
            return true;
        })
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(Ticks(hWndList), (std::vector<bool>{false, false, false, false, true}));
            // With Ctrl held the rule stays out: only the clicked selected row changes.
            SelectRows(hWndList, {0, 2, 3});
            CtrlHeld ctrl;
            ClickAt(hWndList, StateIconPoint(hWndList, 3));
            return true;
        })
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(Ticks(hWndList), (std::vector<bool>{false, false, false, true, true}));
            // A click on a selected row's text is no click on a box: no rule, no tick.
            SelectRows(hWndList, {0, 1, 2});
            ClickAt(hWndList, LabelPoint(hWndList, 1));
            return true;
        })
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(Ticks(hWndList), (std::vector<bool>{false, false, false, true, true}));
            // A double click on a box goes by the same rule as a click.
            SelectRows(hWndList, {0, 1, 2});
            const POINT pt = StateIconPoint(hWndList, 1);
            ::PostMessageA(hWndList, WM_LBUTTONUP, 0, MAKELPARAM(pt.x, pt.y));
            ::SendMessageA(hWndList, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
            return true;
        })
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            // Row 1 was cleared, so the other selected rows were ticked. Whether the list
            // view toggles row 1 itself on the double click is its own affair: Wine 8's does
            // not (it toggles on the button-down only), so row 1 is not looked at.
            EXPECT_TRUE(IsRowTicked(hWndList, 0));
            EXPECT_TRUE(IsRowTicked(hWndList, 2));
            EXPECT_TRUE(IsRowTicked(hWndList, 3) && IsRowTicked(hWndList, 4));
            return true;
        })
        .Then(PostClick(IDCANCEL));
    script.Run(dlg);
    EXPECT_EQ(ReadSavers(), std::vector<std::string>{}) << "ticking stores nothing before OK";
}

TEST_F(ConfigDialogTest, SpaceBarOnTheFocusedSelectedRowAppliesToEverySelectedRow)
{
    folder.Add(fixture::kNoDescription.fileName);
    WriteSavers({});
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            SelectRows(hWndList, {2, 0, 3});  // the focus on row 2
            PressKey(hWndList, VK_SPACE);
            EXPECT_EQ(Ticks(hWndList), (std::vector<bool>{true, false, true, true}));
            // The list view's own space handling may change the selection (Wine 8 keeps
            // the focused row alone selected), so the rows are selected again.
            SelectRows(hWndList, {3, 0, 2});
            PressKey(hWndList, VK_SPACE);
            EXPECT_EQ(Ticks(hWndList), (std::vector<bool>{false, false, false, false}));
            SelectRows(hWndList, {2, 0, 3});
            {
                CtrlHeld ctrl;
                PressKey(hWndList, VK_SPACE);
            }
            EXPECT_FALSE(IsRowTicked(hWndList, 0)) << "Ctrl held: no rule";
            EXPECT_FALSE(IsRowTicked(hWndList, 3));
            EXPECT_FALSE(IsRowTicked(hWndList, 1));
            // Any other key applies no rule.
            TickRow(hWndList, 2, false);
            SelectRows(hWndList, {2, 0, 3});
            PressKey(hWndList, 'A');
            PressKey(hWndList, VK_RETURN);
            EXPECT_EQ(Ticks(hWndList), (std::vector<bool>{false, false, false, false}));
            // A focused row outside the selection changes alone.
            SelectRows(hWndList, {1, 3});
            LVITEMA item = {};
            item.stateMask = LVIS_SELECTED;
            ::SendMessageA(hWndList, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&item));
            PressKey(hWndList, VK_SPACE);
            EXPECT_EQ(Ticks(hWndList), (std::vector<bool>{false, true, false, false}));
            return true;
        })
        .Then(PostClick(IDCANCEL));
    script.Run(dlg);
}

TEST_F(ConfigDialogTest, SettingsAndPreviewAreEnabledExactlyWhileOneRowIsSelected)
{
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([&](HWND hWnd) {
            // The rows' notifications during the fill are answered once, after it.
            EXPECT_FALSE(IsEnabled(hWnd, IDC_SETTINGS));
            EXPECT_FALSE(IsEnabled(hWnd, IDC_PREVIEW));
            HWND hWndList = List(hWnd);
            SelectRows(hWndList, {1});
            EXPECT_TRUE(IsEnabled(hWnd, IDC_SETTINGS));
            EXPECT_TRUE(IsEnabled(hWnd, IDC_PREVIEW));
            const SaverListItem* pItem = dlg.GetSelectedSaverItem();
            EXPECT_TRUE(pItem != nullptr && Utf8(pItem->m_strName) == RowText(hWndList, 1));
            SelectRows(hWndList, {1, 2});
            EXPECT_FALSE(IsEnabled(hWnd, IDC_SETTINGS));
            EXPECT_FALSE(IsEnabled(hWnd, IDC_PREVIEW));
            EXPECT_EQ(dlg.GetSelectedSaverItem(), nullptr);
            SelectRows(hWndList, {});
            EXPECT_FALSE(IsEnabled(hWnd, IDC_SETTINGS));
            EXPECT_FALSE(IsEnabled(hWnd, IDC_PREVIEW));
            EXPECT_EQ(dlg.GetSelectedSaverItem(), nullptr);

            // A Ctrl+click that deselects a row leaves the selection mark on it; the one
            // selected row is still the one the buttons try.
            SelectRows(hWndList, {0, 2});
            ::SendMessageA(hWndList, LVM_SETSELECTIONMARK, 0, 2);
            LVITEMA item = {};
            item.stateMask = LVIS_SELECTED;
            ::SendMessageA(hWndList, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&item));
            EXPECT_EQ(::SendMessageA(hWndList, LVM_GETSELECTIONMARK, 0, 0), 2);
            pItem = dlg.GetSelectedSaverItem();
            EXPECT_TRUE(pItem != nullptr && Utf8(pItem->m_strName) == RowText(hWndList, 0));
            return true;
        })
        .Then(PostClick(IDCANCEL));
    script.Run(dlg);
}

TEST_F(ConfigDialogTest, CycleOptionsEnableTheDelayAndDesktopBoxesAndKeepTheirValues)
{
    WriteDword("ShuffleSavers", 1);
    WriteDword("ShuffleDelay", 25);
    WriteDword("ShowDesktop", 1);
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            ::SendMessageA(Item(hWnd, IDC_CYCLE_ONCE), BM_CLICK, 0, 0);
            EXPECT_TRUE(IsChecked(hWnd, IDC_CYCLE_ONCE));
            EXPECT_FALSE(IsEnabled(hWnd, IDC_DELAY));
            EXPECT_FALSE(IsEnabled(hWnd, IDC_SHOW_DESKTOP));
            EXPECT_EQ(WindowText(Item(hWnd, IDC_DELAY)), "25");
            EXPECT_TRUE(IsChecked(hWnd, IDC_SHOW_DESKTOP));

            ::SetFocus(List(hWnd));
            ::SendMessageA(Item(hWnd, IDC_CYCLE_EVERY), BM_CLICK, 0, 0);
            EXPECT_TRUE(IsEnabled(hWnd, IDC_DELAY));
            EXPECT_TRUE(IsEnabled(hWnd, IDC_SHOW_DESKTOP));
            EXPECT_EQ(::GetFocus(), Item(hWnd, IDC_DELAY));
            DWORD start = 0, end = 0;
            ::SendMessageA(Item(hWnd, IDC_DELAY), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                           reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(start, 2u) << "the caret at the end of the text";
            EXPECT_EQ(end, 2u);

            // Again while already checked: the same, focus and caret included.
            ::SetFocus(List(hWnd));
            ::SendMessageA(Item(hWnd, IDC_DELAY), EM_SETSEL, 0, 0);
            ::SendMessageA(Item(hWnd, IDC_CYCLE_EVERY), BM_CLICK, 0, 0);
            EXPECT_EQ(::GetFocus(), Item(hWnd, IDC_DELAY));
            ::SendMessageA(Item(hWnd, IDC_DELAY), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                           reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(start, 2u);
            EXPECT_EQ(end, 2u);

            // Off again: OK stores both kept values as they are.
            ::SendMessageA(Item(hWnd, IDC_CYCLE_ONCE), BM_CLICK, 0, 0);
            return true;
        })
        .Then(PostClick(IDOK));
    EXPECT_EQ(script.Run(dlg), IDOK);
    DWORD value = 0;
    EXPECT_TRUE(ReadDword("ShuffleSavers", &value) && value == 0);
    EXPECT_TRUE(ReadDword("ShuffleDelay", &value) && value == 25);
    EXPECT_TRUE(ReadDword("ShowDesktop", &value) && value == 1) << "stored although disabled";
}

// The fade box shows whether FadeMs is on, whatever the cycle option: cleared it stores 0,
// ticked again the default, and left ticked a length stored by other means stays.
TEST_F(ConfigDialogTest, FadeBoxTurnsTheFadeOnAndOffAndKeepsAStoredLength)
{
    struct Case {
        const char* name;
        bool bStored;
        DWORD stored;
        bool bClick;
        DWORD expected;
    };
    const Case cases[] = {{"absent, kept", false, 0, false, kDefaultFadeMs},
                          {"on, cleared", true, kDefaultFadeMs, true, 0},
                          {"off, ticked", true, 0, true, kDefaultFadeMs},
                          {"a length, kept", true, 2500, false, 2500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.bStored)
            WriteDword("FadeMs", c.stored);
        SSConfigureDlg dlg(Loaded());
        ModalScript script;
        script
            .Then([&c](HWND hWnd) {
                EXPECT_TRUE(IsEnabled(hWnd, IDC_FADE));
                EXPECT_EQ(IsChecked(hWnd, IDC_FADE), !c.bStored || c.stored != 0);
                if (c.bClick)
                    ::SendMessageA(Item(hWnd, IDC_FADE), BM_CLICK, 0, 0);
                return true;
            })
            .Then(PostClick(IDOK));
        EXPECT_EQ(script.Run(dlg), IDOK);
        DWORD value = 0xFFFFFFFF;
        EXPECT_TRUE(ReadDword("FadeMs", &value));
        EXPECT_EQ(value, c.expected);
    }
}

TEST_F(ConfigDialogTest, ZeroDelayWithCyclingWarnsKeepsTheDialogAndStoresNothing)
{
    WriteDword("ShuffleSavers", 1);
    SSConfigureDlg dlg(Loaded());
    HWND hWndBox = nullptr;
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            ::SetDlgItemTextA(hWnd, IDC_DELAY, "0");
            ::SendMessageA(Item(hWnd, IDC_SHOW_DESKTOP), BM_CLICK, 0, 0);
            return true;
        })
        .Then(PostClick(IDOK))
        .Then([&](HWND hWnd) {
            hWndBox = FindOwnedDialog(hWnd);
            if (hWndBox == nullptr)
                return false;
            EXPECT_EQ(WindowText(hWndBox), "Quillmix");
            const std::vector<std::string> texts = StaticTexts(hWndBox);
            EXPECT_NE(std::find(texts.begin(), texts.end(), kZeroDelayMessage), texts.end())
                << "the message box says: " << (texts.empty() ? "" : texts.front());
            EXPECT_NE(::GetDlgItem(hWndBox, IDOK), nullptr);
            EXPECT_EQ(::GetDlgItem(hWndBox, IDCANCEL), nullptr) << "OK only";
            EXPECT_TRUE(ShowsIcon(hWndBox, ::LoadIconA(nullptr, IDI_WARNING))) << "a warning";
            EXPECT_TRUE(::IsWindowVisible(hWnd)) << "the dialog stays";
            ::PostMessageA(hWndBox, WM_COMMAND, IDOK, 0);
            return true;
        })
        .Then([&](HWND hWnd) {
            if (::IsWindow(hWndBox))
                return false;
            HWND hWndDelay = Item(hWnd, IDC_DELAY);
            EXPECT_EQ(::GetFocus(), hWndDelay);
            DWORD start = 1, end = 0;
            ::SendMessageA(hWndDelay, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                           reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(start, 0u);
            EXPECT_EQ(end, 1u) << "all the text selected";
            DWORD value = 0;
            EXPECT_FALSE(ReadDword("ShuffleDelay", &value)) << "nothing written";
            EXPECT_FALSE(ReadDword("ShowDesktop", &value));
            // The user types over the selection and confirms.
            TypeText(hWndDelay, "5");
            EXPECT_EQ(WindowText(hWndDelay), "5");
            return true;
        })
        .Then(PostClick(IDOK));
    EXPECT_EQ(script.Run(dlg), IDOK);
    DWORD value = 0;
    EXPECT_TRUE(ReadDword("ShuffleDelay", &value) && value == 5);
    EXPECT_TRUE(ReadDword("ShuffleSavers", &value) && value == 1);
    EXPECT_TRUE(ReadDword("ShowDesktop", &value) && value == 1);
}

TEST_F(ConfigDialogTest, EmptyDelayWithCyclingWarnsToo)
{
    WriteDword("ShuffleSavers", 1);
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            ::SetDlgItemTextA(hWnd, IDC_DELAY, "");
            return true;
        })
        .Then(PostClick(IDOK))
        .Then([](HWND hWnd) {
            HWND hWndBox = FindOwnedDialog(hWnd);
            if (hWndBox == nullptr)
                return false;
            ::PostMessageA(hWndBox, WM_COMMAND, IDOK, 0);
            return true;
        })
        .Then([](HWND hWnd) {
            if (FindOwnedDialog(hWnd) != nullptr)
                return false;
            EXPECT_TRUE(::IsWindowVisible(hWnd));
            return true;
        })
        .Then(PostClick(IDCANCEL));
    EXPECT_EQ(script.Run(dlg), IDCANCEL);
    DWORD value = 0;
    EXPECT_FALSE(ReadDword("ShuffleDelay", &value));
}

TEST_F(ConfigDialogTest, EmptyDelayWithoutCyclingStoresZeroAndReopensShowingIt)
{
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            ::SetDlgItemTextA(hWnd, IDC_DELAY, "");
            return true;
        })
        .Then(PostClick(IDOK));
    EXPECT_EQ(script.Run(dlg), IDOK);
    DWORD value = 1;
    EXPECT_TRUE(ReadDword("ShuffleDelay", &value) && value == 0);
    EXPECT_TRUE(ReadDword("ShuffleSavers", &value) && value == 0);

    SSConfigureDlg again(Loaded());
    ModalScript reopen;
    reopen
        .Then([](HWND hWnd) {
            EXPECT_EQ(WindowText(Item(hWnd, IDC_DELAY)), "0");
            EXPECT_FALSE(IsEnabled(hWnd, IDC_DELAY));
            return true;
        })
        .Then(PostClick(IDCANCEL));
    reopen.Run(again);
}

TEST_F(ConfigDialogTest, DelayBoxTakesFourDigitsAndAStoredLargerDelayIsShownThenCut)
{
    WriteDword("ShuffleSavers", 1);
    WriteDword("ShuffleDelay", 12000);
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            EXPECT_EQ(WindowText(Item(hWnd, IDC_DELAY)), "12000") << "shown in full";
            return true;
        })
        .Then(PostClick(IDOK));
    EXPECT_EQ(script.Run(dlg), IDOK);
    DWORD value = 0;
    EXPECT_TRUE(ReadDword("ShuffleDelay", &value) && value == 9999);

    SSConfigureDlg typing(Loaded());
    ModalScript typed;
    typed
        .Then([](HWND hWnd) {
            HWND hWndDelay = Item(hWnd, IDC_DELAY);
            EXPECT_EQ(WindowText(hWndDelay), "9999");
            ::SetDlgItemTextA(hWnd, IDC_DELAY, "");
            TypeText(hWndDelay, "12x345");
            EXPECT_EQ(WindowText(hWndDelay), "1234") << "digits only, four at most";
            return true;
        })
        .Then(PostClick(IDOK));
    EXPECT_EQ(typed.Run(typing), IDOK);
    EXPECT_TRUE(ReadDword("ShuffleDelay", &value) && value == 1234);
}

TEST_F(ConfigDialogTest, OkStoresTheTickedSaversInListOrderAndDropsOnesWithoutARow)
{
    // Selected in the registry, a valid saver, but outside every searched folder.
    ScratchSaverFolder elsewhere("QuillmixElsewhere");
    const std::string outside = elsewhere.Add(fixture::kSampleBounce.fileName);
    WriteSavers({outside, tiles});
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(RowCount(hWndList), 3);
            TickRow(hWndList, FindRow(hWndList, FIXTURE_DESCRIPTION_SAMPLE_AURORA), true);
            return true;
        })
        .Then(PostClick(IDOK));
    EXPECT_EQ(script.Run(dlg), IDOK);
    EXPECT_EQ(ReadSavers(), (std::vector<std::string>{aurora, tiles}));
    EXPECT_EQ(settings.GetSavers().GetCount(), 2u) << "the settings object holds the new list";
}

// A selected saver that cannot be seen keeps a ticked row until its box is cleared.
TEST_F(ConfigDialogTest, ASaverThatCannotBeSeenIsListedAsNotFoundAndKeptUntilCleared)
{
    const std::string away = "Q:\\Away\\\\Far.scr";  // stored again exactly as it is
    WriteSavers({aurora, tiles, away});
    Loaded();
    ASSERT_TRUE(::DeleteFileA(tiles.c_str()));

    for (const bool bClear : {false, true}) {
        SSConfigureDlg dlg(settings);
        ModalScript script;
        script
            .Then([&](HWND hWnd) {
                HWND hWndList = List(hWnd);
                EXPECT_EQ(RowCount(hWndList), 4) << "two found, two not found";
                const int nRow = FindRow(hWndList, "Far.scr");
                EXPECT_TRUE(nRow >= 0 && IsRowTicked(hWndList, nRow));
                EXPECT_EQ(RowText(hWndList, nRow, 1), "Not found");
                EXPECT_EQ(RowText(hWndList, FindRow(hWndList, "SampleTiles.scr"), 1), "Not found");
                SelectRows(hWndList, {nRow});
                EXPECT_FALSE(IsEnabled(hWnd, IDC_PREVIEW)) << "a saver away cannot be tried";
                if (bClear)
                    TickRow(hWndList, nRow, false);
                return true;
            })
            .Then(PostClick(IDOK));
        EXPECT_EQ(script.Run(dlg), IDOK);
        std::vector<std::string> stored = ReadSavers(), expected = {aurora, tiles, away};
        expected.resize(bClear ? 2 : 3);
        std::sort(stored.begin(), stored.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(stored, expected);
    }
}

TEST_F(ConfigDialogTest, CancelEscAndCloseBoxStoreNothing)
{
    ScratchSaverFolder elsewhere("QuillmixElsewhere");
    const std::string outside = elsewhere.Add(fixture::kSampleBounce.fileName);
    WriteSavers({outside, tiles});
    const std::vector<std::string> stored = ReadSavers();

    const std::vector<ModalScript::Step> endings = {
        PostClick(IDCANCEL),
        [](HWND hWnd) {
            // Esc at the focused list goes through the dialog manager.
            ::SetFocus(List(hWnd));
            ::PostMessageA(List(hWnd), WM_KEYDOWN, VK_ESCAPE, 1);
            return true;
        },
        [](HWND hWnd) {
            ::PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        },
    };
    for (const ModalScript::Step& ending : endings) {
        SSConfigureDlg dlg(Loaded());
        ModalScript script;
        script
            .Then([](HWND hWnd) {
                HWND hWndList = List(hWnd);
                for (int i = 0; i < RowCount(hWndList); ++i)
                    TickRow(hWndList, i, true);
                ::SendMessageA(Item(hWnd, IDC_CYCLE_EVERY), BM_CLICK, 0, 0);
                ::SetDlgItemTextA(hWnd, IDC_DELAY, "42");
                return true;
            })
            .Then(ending);
        EXPECT_EQ(script.Run(dlg), IDCANCEL);
        EXPECT_EQ(ReadSavers(), stored);
        DWORD value = 0;
        EXPECT_FALSE(ReadDword("ShuffleDelay", &value));
        EXPECT_FALSE(ReadDword("ShuffleSavers", &value));
        EXPECT_EQ(settings.GetSavers().GetCount(), 2u) << "the settings object is unchanged";
    }
}

TEST_F(ConfigDialogTest, NoTickedRowStoresNoSaversSubkeyAndTheNextLoadSelectsAll)
{
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(Ticks(hWndList), std::vector<bool>(3, true))
                << "a new user selects everything";
            for (int i = 0; i < RowCount(hWndList); ++i)
                TickRow(hWndList, i, false);
            return true;
        })
        .Then(PostClick(IDOK));
    EXPECT_EQ(script.Run(dlg), IDOK);
    EXPECT_FALSE(SubkeyExists("Savers"));
    EXPECT_TRUE(SubkeyExists("Folders"));
    EXPECT_EQ(Loaded().GetSavers().GetCount(), 3u);
}

TEST_F(ConfigDialogTest, SaverInADriveRootIsStoredWithOneBackslash)
{
    const std::string file = "QmxRoot" + std::to_string(::GetCurrentProcessId()) + ".scr";
    const std::string rootPath = "C:\\" + file;
    ASSERT_TRUE(::CopyFileA(aurora.c_str(), rootPath.c_str(), FALSE));
    WriteFolders({"C:\\"});
    WriteSavers({});
    SSConfigureDlg dlg(Loaded());
    ModalScript script;
    script
        .Then([&](HWND hWnd) {
            HWND hWndList = List(hWnd);
            for (int i = 0; i < RowCount(hWndList); ++i) {
                LVITEMA item = {};
                item.mask = LVIF_PARAM;
                item.iItem = i;
                ::SendMessageA(hWndList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
                const auto* pItem = reinterpret_cast<const SaverListItem*>(item.lParam);
                if (pItem != nullptr && pItem->m_strFile.str() == file) {
                    EXPECT_EQ(pItem->m_strFolder.str(), "C:");
                    TickRow(hWndList, i, true);
                    return true;
                }
            }
            ADD_FAILURE() << "no row for " << rootPath;
            return true;
        })
        .Then(PostClick(IDOK));
    script.Run(dlg);
    ::DeleteFileA(rootPath.c_str());
    const std::vector<std::string> stored = ReadSavers();
    EXPECT_NE(std::find(stored.begin(), stored.end(), rootPath), stored.end());
}

// The position the dialog took against the one the centring rule gives.
class ConfigDialogPlacementTest : public ConfigDialogTest {
protected:
    RECT RunAndGetRect(HWND hWndOwner)
    {
        RECT rc = {};
        SSConfigureDlg dlg(Loaded());
        ModalScript script;
        script
            .Then([&](HWND hWnd) {
                ::GetWindowRect(hWnd, &rc);
                return true;
            })
            .Then(PostClick(IDCANCEL));
        script.Run(dlg, hWndOwner);
        return rc;
    }

    static RECT WorkArea()
    {
        RECT rc = {};
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &rc, 0);
        return rc;
    }

    static HWND MakeOwner(int x, int y, int cx, int cy, bool visible)
    {
        return ::CreateWindowExA(0, "Static", "owner",
                                 WS_POPUP | WS_CAPTION | (visible ? WS_VISIBLE : 0), x, y, cx, cy,
                                 nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    }
};

TEST_F(ConfigDialogPlacementTest, WithoutAnOwnerTheDialogIsCentredInTheWorkArea)
{
    const RECT rc = RunAndGetRect(nullptr);
    const RECT work = WorkArea();
    EXPECT_EQ(rc.left, (work.left + work.right) / 2 - (rc.right - rc.left) / 2);
    EXPECT_EQ(rc.top, (work.top + work.bottom) / 2 - (rc.bottom - rc.top) / 2);
}

TEST_F(ConfigDialogPlacementTest, AVisibleOwnerIsTheReferenceAndTheWorkAreaTheLimit)
{
    HWND hWndOwner = MakeOwner(100, 80, 700, 500, true);
    ASSERT_NE(hWndOwner, nullptr);
    RECT owner = {};
    ::GetWindowRect(hWndOwner, &owner);
    RECT rc = RunAndGetRect(hWndOwner);
    EXPECT_EQ(rc.left, (owner.left + owner.right) / 2 - (rc.right - rc.left) / 2);
    EXPECT_EQ(rc.top, (owner.top + owner.bottom) / 2 - (rc.bottom - rc.top) / 2);

    // An owner in the bottom-right corner would push the dialog off: it stops at the edge.
    const RECT work = WorkArea();
    ::SetWindowPos(hWndOwner, nullptr, work.right - 120, work.bottom - 90, 200, 150,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    rc = RunAndGetRect(hWndOwner);
    EXPECT_EQ(rc.right, work.right);
    EXPECT_EQ(rc.bottom, work.bottom);

    // An owner off the top-left corner: the left and top edges of the work area.
    ::SetWindowPos(hWndOwner, nullptr, work.left - 300, work.top - 300, 200, 150,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    rc = RunAndGetRect(hWndOwner);
    EXPECT_EQ(rc.left, work.left);
    EXPECT_EQ(rc.top, work.top);
    ::DestroyWindow(hWndOwner);
}

TEST_F(ConfigDialogPlacementTest, AHiddenOrMinimisedOwnerLeavesTheWorkAreaAsReference)
{
    const RECT work = WorkArea();
    const auto expectCentredInWorkArea = [&](const RECT& rc) {
        EXPECT_EQ(rc.left, (work.left + work.right) / 2 - (rc.right - rc.left) / 2);
        EXPECT_EQ(rc.top, (work.top + work.bottom) / 2 - (rc.bottom - rc.top) / 2);
    };
    HWND hWndHidden = MakeOwner(10, 10, 300, 200, false);
    expectCentredInWorkArea(RunAndGetRect(hWndHidden));
    ::DestroyWindow(hWndHidden);

    HWND hWndMinimised = MakeOwner(10, 10, 300, 200, true);
    ::ShowWindow(hWndMinimised, SW_MINIMIZE);
    ASSERT_TRUE(::IsIconic(hWndMinimised));
    expectCentredInWorkArea(RunAndGetRect(hWndMinimised));
    ::DestroyWindow(hWndMinimised);
}

}  // namespace
