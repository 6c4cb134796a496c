// Helpers of the configuration tests: a folder of saver copies, the settings key, the
// saver list read and driven through real list-view messages, and a script of steps
// run inside the dialog's modal loop.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace configtest {

extern const char kSettingsKeyPath[];  // below HKEY_CURRENT_USER
extern const char kDialogTitle[];

// A fresh folder under the temporary directory that holds copies of fixture savers;
// removed with everything in it at the end.
class ScratchSaverFolder {
public:
    explicit ScratchSaverFolder(const std::string& baseName = "QuillmixSavers");
    ScratchSaverFolder(const ScratchSaverFolder&) = delete;
    ScratchSaverFolder& operator=(const ScratchSaverFolder&) = delete;
    ~ScratchSaverFolder();

    const std::string& Path() const { return m_path; }
    // Copies a fixture saver in, under its own name or another; returns the new path.
    std::string Add(const std::string& fixtureFile, const std::string& newName = "");

private:
    std::string m_path;
    std::vector<std::string> m_files;
};

// The settings key of the (possibly overridden) HKEY_CURRENT_USER.
void WriteFolders(const std::vector<std::string>& folders);
void WriteSavers(const std::vector<std::string>& savers);
void WriteDword(const char* name, DWORD value);
bool ReadDword(const char* name, DWORD* pValue);
bool SubkeyExists(const char* subkey);
// The values of the Savers subkey in the registry's order.
std::vector<std::string> ReadSavers();

// The saver list, through list-view messages.
int RowCount(HWND hWndList);
// The row's text in a column as the list view holds it (LVM_GETITEMTEXTW), in UTF-8:
// 0 the saver's name, 1 its status.
std::string RowText(HWND hWndList, int row, int column = 0);
std::vector<std::string> RowTexts(HWND hWndList);
bool IsRowTicked(HWND hWndList, int row);
bool IsRowSelected(HWND hWndList, int row);
void SelectRows(HWND hWndList, const std::vector<int>& rows);  // exactly these, focus on the first
void TickRow(HWND hWndList, int row, bool ticked);
int FindRow(HWND hWndList, const std::string& text);
// A client point on the row's check box, found by hit-testing along the row.
POINT StateIconPoint(HWND hWndList, int row);
// A client point on the row's text, right of the check box.
POINT LabelPoint(HWND hWndList, int row);
// A left click (down and up) at a client point, as the list would get it from the mouse.
void ClickAt(HWND hWndList, POINT pt);
void PressKey(HWND hWnd, UINT vk);
// Typed characters, one WM_CHAR each.
void TypeText(HWND hWnd, const std::string& text);

// Holds Ctrl down in this thread's keyboard state (GetKeyState sees it) while alive.
class CtrlHeld {
public:
    CtrlHeld();
    CtrlHeld(const CtrlHeld&) = delete;
    CtrlHeld& operator=(const CtrlHeld&) = delete;
    ~CtrlHeld();

private:
    BYTE m_saved[256];
};

std::string WindowText(HWND hWnd);
// A visible message box (or other dialog) owned by hWndOwner, of the given process (0:
// any), or nullptr.
HWND FindOwnedDialog(HWND hWndOwner, DWORD processId = ::GetCurrentProcessId());
// The texts of a dialog's static controls.
std::vector<std::string> StaticTexts(HWND hWndDialog);

// Steps run one per timer tick inside whatever modal loop this thread is in (the dialog's,
// a message box's, a wait for a child saver). A step returns true when it is done and
// false to be asked again at the next tick. A step that opens something modal must post
// the message that opens it, so that the next step runs inside the new loop.
class ModalScript {
public:
    using Step = std::function<bool(HWND hWndDialog)>;

    ModalScript& Then(Step step);
    // Runs the dialog with the steps; the last step should end it. If a step is never
    // done, or the steps run out with the dialog still open, the test fails and the
    // dialog is cancelled.
    template <class TDialog> INT_PTR Run(TDialog& dlg, HWND hWndOwner = nullptr)
    {
        Start();
        const INT_PTR result = dlg.RunModal(hWndOwner, 0);
        Stop();
        return result;
    }
    // The dialog of the last run (its handle is no longer valid).
    HWND LastDialog() const { return m_hWndDialog; }

private:
    void Start();
    void Stop();
    void Tick();
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR, DWORD);

    std::vector<Step> m_steps;
    size_t m_next = 0;
    unsigned m_retries = 0;
    bool m_busy = false;
    bool m_gaveUp = false;
    HWND m_hWndDialog = nullptr;
    UINT_PTR m_timer = 0;
    static ModalScript* s_running;
};

// A step that clicks a dialog button the way its BN_CLICKED would arrive, posted.
ModalScript::Step PostClick(int id);

}  // namespace configtest
