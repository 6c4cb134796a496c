#include "app/ChildSaver.h"

#include <string>
#include <vector>

namespace {

// How long a terminated child is given to be gone before the next one may start.
const DWORD kTerminateWaitMs = 2000;

INPUT MouseInput(LONG dx, LONG dy, DWORD dwFlags)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = dx;
    input.mi.dy = dy;
    input.mi.dwFlags = dwFlags;
    return input;
}

INPUT KeyInput(WORD wVk, DWORD dwFlags)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = wVk;
    input.ki.dwFlags = dwFlags;
    return input;
}

}  // namespace

UniqueHandle StartChildSaver(const char* pszApplicationName, const AnsiString& commandLine)
{
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    std::vector<char> cmd(commandLine.c_str(), commandLine.c_str() + commandLine.length() + 1);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(pszApplicationName, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &si, &pi))
        return UniqueHandle();
    ::CloseHandle(pi.hThread);
    return UniqueHandle(pi.hProcess);
}

void DispatchWaitingMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

DWORD WaitForChildPumping(HANDLE hProcess, DWORD dwTimeoutMs)
{
    const DWORD result = ::MsgWaitForMultipleObjects(1, &hProcess, FALSE, dwTimeoutMs, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0 + 1)
        DispatchWaitingMessages();
    return result;
}

DWORD WaitForChildPumpingUntilEnd(HANDLE hProcess)
{
    DWORD result;
    do {
        result = WaitForChildPumping(hProcess, INFINITE);
    } while (result == WAIT_OBJECT_0 + 1);
    return result;
}

bool StopChildSaver(HANDLE hProcess)
{
    // Without a child the input would reach whatever the user has on the screen.
    if (hProcess == nullptr)
        return false;
    INPUT inputs[] = {
        MouseInput(10, 10, MOUSEEVENTF_MOVE),   MouseInput(0, 0, MOUSEEVENTF_LEFTDOWN),
        MouseInput(10, 10, MOUSEEVENTF_LEFTUP), KeyInput(VK_ESCAPE, 0),
        KeyInput(VK_ESCAPE, KEYEVENTF_KEYUP),
    };
    ::SendInput(ARRAYSIZE(inputs), inputs, sizeof(INPUT));
    if (::WaitForSingleObject(hProcess, kChildStopGraceMs) == WAIT_OBJECT_0)
        return true;
    ::TerminateProcess(hProcess, 0);
    // Termination is asynchronous; two savers must never run at once.
    ::WaitForSingleObject(hProcess, kTerminateWaitMs);
    return false;
}
