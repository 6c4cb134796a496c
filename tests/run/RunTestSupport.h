#pragma once
#include "ui/GdiObject.h"

#include <windows.h>

#include <string>
#include <vector>

// Helpers of the run-mode tests: the screen as the user sees it, input as the user gives
// it, and the record file of Recorder.scr.

// The virtual screen in screen coordinates.
RECT VirtualScreen();

// Whether hWndUpper lies above hWndLower in the system's order of windows.
bool IsAbove(HWND hWndUpper, HWND hWndLower);

// Corners and middle of a rectangle of the given size, relative to its top-left corner.
std::vector<POINT> SamplePoints(int cx, int cy);

// Dispatches every message waiting in this thread's queue.
void PumpMessages();

// The cursor's display counter of this thread.
int CursorCount();

// Waits until every sample point of the virtual screen shows the colour: Wine hands a
// window's pixels to the X server a little after painting. The bound only keeps a broken
// test from hanging. pSeen gets the colours of the last read.
bool ScreenShows(COLORREF color, std::string* pSeen);
// The same for a part of the screen.
bool ScreenShows(const RECT& rc, COLORREF color, std::string* pSeen);

// The user's input through SendInput: a relative mouse move, a key press and release (the
// records SendInput took).
void SendMouseMove(LONG dx, LONG dy);
UINT SendKeyPress(WORD vk);

// A person's input through the X server (xdotool, which Wine starts as a program of the
// host): it reaches run mode through the window system, as a real mouse and keyboard do,
// where SendInput goes past every window. Two moves of the pointer, by dx and then by dy;
// a key press and release by its X name ("space"). Wine gives no handle to wait on for a
// program of the host, so the input is on its way when these return; false when xdotool
// cannot be started.
bool XPointerGesture(int dx, int dy);
bool XKeyPress(const char* keyName);

// The full-screen window of a fixture saver with the given description, once it is shown.
HWND WaitForSaverWindow(const char* description);

// A colour as the recording saver writes it: six hex digits, 00bbggrr.
std::string ColorText(COLORREF c);
// The record line of a saver that found the colour everywhere on its screen at its start.
std::string ScreenLine(COLORREF color);

// The colour of Backdrop.
constexpr COLORREF kBackdropColor = RGB(200, 40, 60);

// A plain window of one colour over the whole screen, or over a part of it: the "desktop"
// a snapshot takes.
class Backdrop {
public:
    Backdrop();
    Backdrop(const RECT& rc, COLORREF color);
    Backdrop(const Backdrop&) = delete;
    Backdrop& operator=(const Backdrop&) = delete;
    ~Backdrop();
    HWND get() const { return m_hWnd; }

private:
    GdiObject<HBRUSH> m_brush;
    HWND m_hWnd;
};

// A fresh record file for Recorder.scr, named to the children through the environment
// for as long as the object lives.
class RecordFile {
public:
    RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    ~RecordFile();

    const std::string& Path() const { return m_path; }
    std::vector<std::string> Lines() const;
    // Waits until a line equal to text, or starting with it for a prefix, has been written.
    bool WaitForLine(const std::string& text, bool bPrefix = false) const;
    // Lines starting with the prefix, in order.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const;

private:
    std::string m_path;
};
