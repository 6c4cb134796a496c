#pragma once
#include "ui/UniqueHook.h"

#include <windows.h>

// The user's own input while run mode runs, as the system's low-level mouse and keyboard
// hooks of this thread see it: a key, a button, the wheel, or a move of the pointer
// beyond a jitter. Input that run mode injects itself is told apart and never counts.
// The hooks are called only while this thread retrieves messages, so every wait of run
// mode dispatches or answers them. One watch per process.
class UserInputWatch {
public:
    UserInputWatch() noexcept = default;
    UserInputWatch(const UserInputWatch&) = delete;
    UserInputWatch& operator=(const UserInputWatch&) = delete;
    ~UserInputWatch();

    // Sets the hooks; false when the system refuses them.
    bool Install() noexcept;
    bool IsInstalled() const noexcept { return m_mouse && m_keyboard; }

    // Counting starts anew: earlier input is forgotten, and moves are measured from where
    // the pointer stands now.
    void Forget() noexcept;
    bool HasUserInput() const noexcept { return m_bUserInput; }
    // The next injected records of each kind that the hooks see are run mode's own.
    void ExpectOwnInput(unsigned nMouse, unsigned nKeys) noexcept;

    // What the hooks hand on: whether the record carries the system's injected flag,
    // where the pointer went, and whether a button, wheel or key record is one that a
    // user gives (a press, not a release).
    void NoteMouseMove(bool bInjected, POINT pt) noexcept;
    void NoteMouse(bool bInjected, bool bUserLike) noexcept;
    void NoteKey(bool bInjected, bool bUserLike) noexcept;

private:
    static LRESULT CALLBACK OnMouse(int nCode, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK OnKey(int nCode, WPARAM wParam, LPARAM lParam);

    UniqueHook m_mouse;
    UniqueHook m_keyboard;
    bool m_bUserInput = false;
    unsigned m_nOwnMouse = 0;
    unsigned m_nOwnKeys = 0;
    // Injected moves are measured from where the pointer stood at Forget; a device's
    // moves from where the device last put it by then, once a move of it was seen.
    POINT m_ptOrigin = {0, 0};
    POINT m_ptDevice = {0, 0};
    POINT m_ptDeviceOrigin = {0, 0};
    bool m_bDeviceSeen = false;
};
