// The yardstick of the start-up benchmark: a Win32 program that does nothing and exits.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
