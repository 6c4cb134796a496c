#pragma once
#include "ui/UniqueHook.h"

#include <windows.h>

// The user's own input while run mode runs, as the system's low-level mouse and keyboard
// hooks of this thread see it: a key, a button, the wheel, or a move of the pointer
// beyond a jitter. The hooks are called only while this thread retrieves messages, so
// every wait of run mode dispatches or answers them. One watch per process.
//
// Why the input that run mode injects at a switch never counts: the hooks are removed
// (Pause) before it is sent and set again (Forget) only when the next saver starts, after
// the old saver has ended on that input or been terminated 2000 ms later, so no hook of
// run mode is there when the system hands the records on; input in the first 250 ms
// after they are set again is passed over, which takes the records still on their way
// (the old saver ended on the first of them), as the user's input during a switch is.
// GetLastInputInfo could not tell the two apart (under Wine 8 its time moves when a window appears
// under a still pointer), and the injected flag alone does not either: Wine 8 hands run mode's own
// injected move to run mode's own hook without that flag, and drops the records after it. Injected
// input from elsewhere, as from a remote control or an on-screen keyboard, is the user's.
class UserInputWatch {
public:
    UserInputWatch() noexcept = default;
    UserInputWatch(const UserInputWatch&) = delete;
    UserInputWatch& operator=(const UserInputWatch&) = delete;
    ~UserInputWatch();

    // Sets the hooks; false when the system refuses them.
    bool Install() noexcept;
    bool IsInstalled() const noexcept { return m_mouse && m_keyboard; }

    // Removes the hooks until the next Forget: run mode is about to inject input.
    void Pause() noexcept;
    // Counting starts anew, with the hooks set again after a Pause: earlier input is
    // forgotten, and moves are measured from where the pointer stands now.
    void Forget() noexcept;
    bool HasUserInput() const noexcept { return m_bUserInput; }

    // What the hooks hand on: a move (with the system's injected flag) and where the
    // pointer went; or whether a button, wheel or key record is one a user gives (a press).
    void NoteMouseMove(bool bInjected, POINT pt) noexcept;
    void Note(bool bUserLike) noexcept;

private:
    static LRESULT CALLBACK OnMouse(int nCode, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OnKey(int nCode, WPARAM wParam, LPARAM lParam);

    UniqueHook m_mouse;
    UniqueHook m_keyboard;
    bool m_bWanted = false;
    bool m_bSettling = false;
    DWORD m_dwResumeTick = 0;
    bool m_bUserInput = false;
    // Injected moves are measured from where the pointer stood at Forget; a device's
    // moves from where the device last put it by then, once a move of it was seen.
    POINT m_ptOrigin = {0, 0};
    POINT m_ptDevice = {0, 0};
    POINT m_ptDeviceOrigin = {0, 0};
    bool m_bDeviceSeen = false;
};
