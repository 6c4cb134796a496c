// Looks at the running configuration dialog of another process, for the black-box tests
// that drive it with the mouse and keyboard from outside:
//   config_probe wait               waits for the dialog; prints its handle in decimal
//   config_probe gone               waits until no configuration dialog is left
//   config_probe control ID         the screen centre of control ID: "x y"
//   config_probe box TEXT           the screen centre of the check box of the row TEXT
//   config_probe label TEXT         the screen centre of the text of the row TEXT
//   config_probe rows               one line per row: "<ticked> <selected> <text>"
//   config_probe status TEXT        the Status column of the row TEXT
//   config_probe details            the line under the list
//   config_probe owned              the title of a visible dialog owned by it, if any
//   config_probe window CLASS       waits for a visible window of CLASS; prints its handle
//   config_probe rect               the dialog's screen rectangle: "x y width height"
//   config_probe enabled            1 when the dialog takes input, 0 when it is disabled
// The list lives in the other process, so its list-view messages carry buffers that are
// placed there with VirtualAllocEx. Exit code 0 on success, 1 when not found.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kDialogTitle[] = "Quillmix Configuration";
const int kListId = 201;
const int kDetailsId = 208;
const int kStatusSubItem = 1;
// The waits end the probe unsuccessfully rather than hang a test run that went wrong.
const int kWaitTries = 6000;
const DWORD kWaitStepMs = 10;

HWND FindDialog() { return ::FindWindowA("#32770", kDialogTitle); }

// Memory in the dialog's process for one list-view message's buffer.
class RemoteBuffer {
public:
    RemoteBuffer(HWND hWnd, SIZE_T size)
        : m_size(size)
    {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(hWnd, &pid);
        m_process =
            ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_process != nullptr)
            m_remote = ::VirtualAllocEx(m_process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    ~RemoteBuffer()
    {
        if (m_remote != nullptr)
            ::VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
        if (m_process != nullptr)
            ::CloseHandle(m_process);
    }
    bool Ok() const { return m_remote != nullptr; }
    char* Remote() const { return static_cast<char*>(m_remote); }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        return offset + size <= m_size &&
            ::WriteProcessMemory(m_process, Remote() + offset, data, size, nullptr) != FALSE;
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const
    {
        return offset + size <= m_size &&
            ::ReadProcessMemory(m_process, Remote() + offset, data, size, nullptr) != FALSE;
    }

private:
    HANDLE m_process = nullptr;
    void* m_remote = nullptr;
    SIZE_T m_size;
};

const SIZE_T kTextOffset = 1024;
const SIZE_T kTextSize = 512;

std::string RowText(HWND hWndList, const RemoteBuffer& buf, int row, int column = 0)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buf.Remote() + kTextOffset;
    item.cchTextMax = kTextSize;
    buf.Write(0, &item, sizeof(item));
    ::SendMessageA(hWndList, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(buf.Remote()));
    char text[kTextSize + 1] = {};
    buf.Read(kTextOffset, text, kTextSize);
    return text;
}

bool RowRect(HWND hWndList, const RemoteBuffer& buf, int row, RECT* pRect)
{
    RECT rc = {};
    rc.left = LVIR_BOUNDS;
    buf.Write(0, &rc, sizeof(rc));
    if (!::SendMessageA(hWndList, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(buf.Remote())))
        return false;
    return buf.Read(0, pRect, sizeof(*pRect));
}

int HitTest(HWND hWndList, const RemoteBuffer& buf, POINT pt, UINT* pFlags)
{
    LVHITTESTINFO hit = {};
    hit.pt = pt;
    buf.Write(0, &hit, sizeof(hit));
    const int row = static_cast<int>(
        ::SendMessageA(hWndList, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(buf.Remote())));
    buf.Read(0, &hit, sizeof(hit));
    *pFlags = hit.flags;
    return row;
}

int FindRow(HWND hWndList, const RemoteBuffer& buf, const std::string& text)
{
    const int count = static_cast<int>(::SendMessageA(hWndList, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (RowText(hWndList, buf, i) == text)
            return i;
    return -1;
}

// The screen centre of the run of points along the row whose hit test has the flags.
bool RowPartCentre(HWND hWndList, const std::string& text, UINT flags, POINT* pPoint)
{
    RemoteBuffer buf(hWndList, kTextOffset + kTextSize);
    if (!buf.Ok())
        return false;
    const int row = FindRow(hWndList, buf, text);
    RECT rc = {};
    if (row < 0 || !RowRect(hWndList, buf, row, &rc))
        return false;
    const LONG y = (rc.top + rc.bottom) / 2;
    LONG first = -1, last = -1;
    for (LONG x = rc.left; x < rc.right; ++x) {
        UINT hitFlags = 0;
        if (HitTest(hWndList, buf, POINT{x, y}, &hitFlags) == row && hitFlags == flags) {
            if (first < 0)
                first = x;
            last = x;
        } else if (first >= 0) {
            break;
        }
    }
    if (first < 0)
        return false;
    POINT pt = {(first + last) / 2, y};
    ::ClientToScreen(hWndList, &pt);
    *pPoint = pt;
    return true;
}

HWND WaitForDialog()
{
    for (int i = 0; i < kWaitTries; ++i) {
        HWND hWnd = FindDialog();
        if (hWnd != nullptr && ::IsWindowVisible(hWnd))
            return hWnd;
        ::Sleep(kWaitStepMs);
    }
    return nullptr;
}

struct OwnedSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwned(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<OwnedSearch*>(lParam);
    if (::GetWindow(hWnd, GW_OWNER) == search->owner && ::IsWindowVisible(hWnd)) {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

int PrintPoint(bool ok, POINT pt)
{
    if (!ok)
        return 1;
    std::printf("%ld %ld\n", static_cast<long>(pt.x), static_cast<long>(pt.y));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: config_probe "
                     "wait|gone|control|box|label|rows|status|details|owned|window|rect|enabled\n");
        return 2;
    }
    const std::string cmd = argv[1];
    const std::string arg = argc > 2 ? argv[2] : "";

    if (cmd == "window") {
        for (int i = 0; i < kWaitTries; ++i) {
            HWND hWnd = ::FindWindowA(arg.c_str(), nullptr);
            if (hWnd != nullptr && ::IsWindowVisible(hWnd)) {
                std::printf("%ld\n", static_cast<long>(reinterpret_cast<LONG_PTR>(hWnd)));
                return 0;
            }
            ::Sleep(kWaitStepMs);
        }
        return 1;
    }
    if (cmd == "gone") {
        for (int i = 0; i < kWaitTries; ++i) {
            if (FindDialog() == nullptr)
                return 0;
            ::Sleep(kWaitStepMs);
        }
        return 1;
    }

    HWND hWndDialog = WaitForDialog();
    if (hWndDialog == nullptr)
        return 1;
    HWND hWndList = ::GetDlgItem(hWndDialog, kListId);

    if (cmd == "wait") {
        std::printf("%ld\n", static_cast<long>(reinterpret_cast<LONG_PTR>(hWndDialog)));
        return 0;
    }
    if (cmd == "enabled") {
        std::printf("%d\n", ::IsWindowEnabled(hWndDialog) ? 1 : 0);
        return 0;
    }
    if (cmd == "rect") {
        RECT rc = {};
        ::GetWindowRect(hWndDialog, &rc);
        std::printf("%ld %ld %ld %ld\n", static_cast<long>(rc.left), static_cast<long>(rc.top),
                    static_cast<long>(rc.right - rc.left), static_cast<long>(rc.bottom - rc.top));
        return 0;
    }
    if (cmd == "control") {
        HWND hWnd = ::GetDlgItem(hWndDialog, std::atoi(arg.c_str()));
        RECT rc = {};
        if (hWnd == nullptr || !::GetWindowRect(hWnd, &rc))
            return 1;
        return PrintPoint(true, POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
    }
    if (cmd == "box" || cmd == "label") {
        POINT pt = {};
        const bool ok = RowPartCentre(hWndList, arg,
                                      cmd == "box" ? LVHT_ONITEMSTATEICON : LVHT_ONITEMLABEL, &pt);
        return PrintPoint(ok, pt);
    }
    if (cmd == "rows") {
        RemoteBuffer buf(hWndList, kTextOffset + kTextSize);
        if (!buf.Ok())
            return 1;
        const int count = static_cast<int>(::SendMessageA(hWndList, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const LRESULT state = ::SendMessageA(hWndList, LVM_GETITEMSTATE, static_cast<WPARAM>(i),
                                                 LVIS_STATEIMAGEMASK | LVIS_SELECTED);
            std::printf("%d %d %s\n", ((state & LVIS_STATEIMAGEMASK) >> 12) == 2 ? 1 : 0,
                        (state & LVIS_SELECTED) != 0 ? 1 : 0, RowText(hWndList, buf, i).c_str());
        }
        return 0;
    }
    if (cmd == "status") {
        RemoteBuffer buf(hWndList, kTextOffset + kTextSize);
        const int row = buf.Ok() ? FindRow(hWndList, buf, arg) : -1;
        if (row < 0)
            return 1;
        std::printf("%s\n", RowText(hWndList, buf, row, kStatusSubItem).c_str());
        return 0;
    }
    if (cmd == "details") {
        char text[kTextSize] = {};
        ::GetDlgItemTextA(hWndDialog, kDetailsId, text, sizeof(text));
        std::printf("%s\n", text);
        return 0;
    }
    if (cmd == "owned") {
        OwnedSearch search = {hWndDialog, nullptr};
        ::EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr)
            return 1;
        char title[256] = {};
        ::GetWindowTextA(search.found, title, sizeof(title));
        std::printf("%s\n", title);
        return 0;
    }
    std::fprintf(stderr, "config_probe: unknown command %s\n", cmd.c_str());
    return 2;
}
