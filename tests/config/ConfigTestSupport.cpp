#include "tests/config/ConfigTestSupport.h"

#include "tests/support/TestPaths.h"
#include "tests/support/TestText.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdio>
#include <stdexcept>

namespace configtest {

const char kSettingsKeyPath[] = "Software\\Brindlecraft\\Quillmix";
const char kDialogTitle[] = "Quillmix Configuration";

namespace {

// A stuck step fails the test after this many ticks instead of hanging the run; it is
// far beyond anything a working dialog needs.
const unsigned kMaxRetries = 3000;
const UINT kTickMs = 10;

std::string SubkeyPath(const char* subkey) { return std::string(kSettingsKeyPath) + "\\" + subkey; }

void WriteList(const char* subkey, const char* format, const std::vector<std::string>& values)
{
    const std::string path = SubkeyPath(subkey);
    ::SHDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
    HKEY hKey = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create " + path);
    for (size_t i = 0; i < values.size(); ++i) {
        char name[16];
        std::snprintf(name, sizeof(name), format, static_cast<unsigned>(i));
        ::RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(values[i].c_str()),
                         static_cast<DWORD>(values[i].size() + 1));
    }
    ::RegCloseKey(hKey);
}

LRESULT SendList(HWND hWndList, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return ::SendMessageA(hWndList, msg, wParam, lParam);
}

}  // namespace

ScratchSaverFolder::ScratchSaverFolder(const std::string& baseName)
{
    static unsigned counter = 0;
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    m_path = std::string(temp) + baseName + " " + std::to_string(::GetCurrentProcessId()) + "_" +
        std::to_string(counter++);
    ::CreateDirectoryA(m_path.c_str(), nullptr);
}

ScratchSaverFolder::~ScratchSaverFolder()
{
    for (const std::string& file : m_files)
        ::DeleteFileA(file.c_str());
    ::RemoveDirectoryA(m_path.c_str());
}

std::string ScratchSaverFolder::Add(const std::string& fixtureFile, const std::string& newName)
{
    const std::string target = m_path + "\\" + (newName.empty() ? fixtureFile : newName);
    if (!::CopyFileA(FixturePath(fixtureFile).c_str(), target.c_str(), FALSE))
        throw std::runtime_error("cannot copy the fixture " + fixtureFile);
    m_files.push_back(target);
    return target;
}

void WriteFolders(const std::vector<std::string>& folders)
{
    WriteList("Folders", "%02u", folders);
}

void WriteSavers(const std::vector<std::string>& savers) { WriteList("Savers", "%03u", savers); }

void WriteDword(const char* name, DWORD value)
{
    HKEY hKey = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the settings key");
    ::RegSetValueExA(hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                     sizeof(value));
    ::RegCloseKey(hKey);
}

bool ReadDword(const char* name, DWORD* pValue)
{
    DWORD size = sizeof(*pValue);
    return ::RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_REG_DWORD, nullptr,
                          pValue, &size) == ERROR_SUCCESS;
}

bool SubkeyExists(const char* subkey)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, SubkeyPath(subkey).c_str(), 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

std::vector<std::string> ReadSavers()
{
    std::vector<std::string> savers;
    HKEY hKey = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, SubkeyPath("Savers").c_str(), 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
        return savers;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD nameSize = sizeof(name);
        char data[MAX_PATH + 1] = {};
        DWORD dataSize = MAX_PATH;
        if (::RegEnumValueA(hKey, i, name, &nameSize, nullptr, nullptr,
                            reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS)
            break;
        savers.emplace_back(data);
    }
    ::RegCloseKey(hKey);
    return savers;
}

int RowCount(HWND hWndList) { return static_cast<int>(SendList(hWndList, LVM_GETITEMCOUNT)); }

std::string RowText(HWND hWndList, int row, int column)
{
    wchar_t text[512] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(sizeof(text) / sizeof(text[0]));
    SendList(hWndList, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return Utf8(text);
}

std::vector<std::string> RowTexts(HWND hWndList)
{
    std::vector<std::string> texts;
    for (int i = 0; i < RowCount(hWndList); ++i)
        texts.push_back(RowText(hWndList, i));
    return texts;
}

bool IsRowTicked(HWND hWndList, int row)
{
    return (SendList(hWndList, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) >>
            12) == 2;
}

bool IsRowSelected(HWND hWndList, int row)
{
    return SendList(hWndList, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0;
}

void SelectRows(HWND hWndList, const std::vector<int>& rows)
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendList(hWndList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    for (size_t i = 0; i < rows.size(); ++i) {
        item.state = LVIS_SELECTED | (i == 0 ? LVIS_FOCUSED : 0);
        item.stateMask = i == 0 ? (LVIS_SELECTED | LVIS_FOCUSED) : LVIS_SELECTED;
        SendList(hWndList, LVM_SETITEMSTATE, static_cast<WPARAM>(rows[i]),
                 reinterpret_cast<LPARAM>(&item));
    }
}

void TickRow(HWND hWndList, int row, bool ticked)
{
    LVITEMA item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(ticked ? 2 : 1);
    SendList(hWndList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int FindRow(HWND hWndList, const std::string& text)
{
    for (int i = 0; i < RowCount(hWndList); ++i)
        if (RowText(hWndList, i) == text)
            return i;
    return -1;
}

namespace {

// The first point of the row, from its left edge rightwards, whose hit test has the flags.
bool FindRowPoint(HWND hWndList, int row, UINT flags, POINT* pPoint)
{
    RECT rc = {};
    rc.left = LVIR_BOUNDS;
    if (!SendList(hWndList, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                  reinterpret_cast<LPARAM>(&rc)))
        return false;
    const LONG y = (rc.top + rc.bottom) / 2;
    for (LONG x = rc.left; x < rc.right; ++x) {
        LVHITTESTINFO hit = {};
        hit.pt = {x, y};
        if (SendList(hWndList, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) == row &&
            hit.flags == flags) {
            // The middle of the run of such points, away from the edges.
            LONG end = x;
            for (;; ++end) {
                LVHITTESTINFO next = {};
                next.pt = {end + 1, y};
                if (end + 1 >= rc.right ||
                    SendList(hWndList, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&next)) != row ||
                    next.flags != flags)
                    break;
            }
            *pPoint = {(x + end) / 2, y};
            return true;
        }
    }
    return false;
}

}  // namespace

POINT StateIconPoint(HWND hWndList, int row)
{
    POINT pt = {-1, -1};
    EXPECT_TRUE(FindRowPoint(hWndList, row, LVHT_ONITEMSTATEICON, &pt))
        << "no check box on row " << row;
    return pt;
}

POINT LabelPoint(HWND hWndList, int row)
{
    POINT pt = {-1, -1};
    EXPECT_TRUE(FindRowPoint(hWndList, row, LVHT_ONITEMLABEL, &pt)) << "no label on row " << row;
    return pt;
}

void ClickAt(HWND hWndList, POINT pt)
{
    const WPARAM keys = ::GetKeyState(VK_CONTROL) < 0 ? MK_CONTROL : 0;
    const LPARAM lParam = MAKELPARAM(pt.x, pt.y);
    SendList(hWndList, WM_LBUTTONDOWN, keys | MK_LBUTTON, lParam);
    SendList(hWndList, WM_LBUTTONUP, keys, lParam);
}

void PressKey(HWND hWnd, UINT vk)
{
    const UINT scan = ::MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
    ::SendMessageA(hWnd, WM_KEYDOWN, vk, static_cast<LPARAM>(1 | (scan << 16)));
    ::SendMessageA(hWnd, WM_KEYUP, vk, static_cast<LPARAM>(1 | (scan << 16) | (3u << 30)));
}

void TypeText(HWND hWnd, const std::string& text)
{
    for (char ch : text)
        ::SendMessageA(hWnd, WM_CHAR, static_cast<unsigned char>(ch), 1);
}

CtrlHeld::CtrlHeld()
{
    ::GetKeyboardState(m_saved);
    BYTE state[256];
    ::memcpy(state, m_saved, sizeof(state));
    state[VK_CONTROL] = 0x80;
    state[VK_LCONTROL] = 0x80;
    ::SetKeyboardState(state);
}

CtrlHeld::~CtrlHeld() { ::SetKeyboardState(m_saved); }

std::string WindowText(HWND hWnd)
{
    char text[1024] = {};
    ::GetWindowTextA(hWnd, text, sizeof(text));
    return text;
}

namespace {

struct OwnedSearch {
    HWND hWndOwner;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindOwnedProc(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<OwnedSearch*>(lParam);
    char cls[64] = {};
    ::GetClassNameA(hWnd, cls, sizeof(cls));
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    if ((search->processId == 0 || pid == search->processId) && ::lstrcmpA(cls, "#32770") == 0 &&
        ::GetWindow(hWnd, GW_OWNER) == search->hWndOwner && ::IsWindowVisible(hWnd)) {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStaticProc(HWND hWnd, LPARAM lParam)
{
    char cls[64] = {};
    ::GetClassNameA(hWnd, cls, sizeof(cls));
    if (::lstrcmpiA(cls, "Static") == 0) {
        const std::string text = WindowText(hWnd);
        if (!text.empty())
            reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(text);
    }
    return TRUE;
}

}  // namespace

HWND FindOwnedDialog(HWND hWndOwner, DWORD processId)
{
    OwnedSearch search = {hWndOwner, processId, nullptr};
    ::EnumWindows(FindOwnedProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::string> StaticTexts(HWND hWndDialog)
{
    std::vector<std::string> texts;
    ::EnumChildWindows(hWndDialog, CollectStaticProc, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

ModalScript* ModalScript::s_running = nullptr;

ModalScript& ModalScript::Then(Step step)
{
    m_steps.push_back(std::move(step));
    return *this;
}

void ModalScript::Start()
{
    m_next = 0;
    m_retries = 0;
    m_gaveUp = false;
    m_hWndDialog = nullptr;
    m_busy = false;
    s_running = this;
    m_timer = ::SetTimer(nullptr, 0, kTickMs, TimerProc);
}

void ModalScript::Stop()
{
    ::KillTimer(nullptr, m_timer);
    s_running = nullptr;
    EXPECT_FALSE(m_gaveUp) << "step " << m_next << " never finished";
    EXPECT_EQ(m_next, m_steps.size()) << "the dialog ended before all steps ran";
}

void CALLBACK ModalScript::TimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    if (s_running != nullptr)
        s_running->Tick();
}

void ModalScript::Tick()
{
    // A step's own nested loop (a SendMessage that runs a modal loop) must not re-enter.
    if (m_busy || m_gaveUp)
        return;
    m_busy = true;
    if (m_hWndDialog == nullptr) {
        HWND hWnd = ::FindWindowA("#32770", kDialogTitle);
        DWORD pid = 0;
        if (hWnd != nullptr && ::GetWindowThreadProcessId(hWnd, &pid) == ::GetCurrentThreadId())
            m_hWndDialog = hWnd;
    }
    if (m_hWndDialog != nullptr) {
        if (m_next < m_steps.size()) {
            if (m_steps[m_next](m_hWndDialog)) {
                ++m_next;
                m_retries = 0;
            } else {
                ++m_retries;
            }
        } else {
            ++m_retries;
        }
        if (m_retries > kMaxRetries) {
            m_gaveUp = true;
            // Close whatever modal loop holds the dialog, then the dialog itself.
            if (HWND hWndBox = FindOwnedDialog(m_hWndDialog))
                ::PostMessageA(hWndBox, WM_COMMAND, IDCANCEL, 0);
            ::EndDialog(m_hWndDialog, IDCANCEL);
        }
    }
    m_busy = false;
}

ModalScript::Step PostClick(int id)
{
    return [id](HWND hWndDialog) {
        ::PostMessageA(::GetDlgItem(hWndDialog, id), BM_CLICK, 0, 0);
        return true;
    };
}

}  // namespace configtest
