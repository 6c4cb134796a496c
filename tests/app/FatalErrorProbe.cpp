// A GUI program with the product's replacements of the runtime that meets a fatal error:
// an exception that nothing catches.
#include <windows.h>

#include <stdexcept>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { throw std::runtime_error("fatal"); }
