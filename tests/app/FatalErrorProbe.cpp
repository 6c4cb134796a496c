// A GUI program with the product's replacements of the runtime that meets a fatal error:
// an exception that nothing catches; with "crash", an access violation after run mode's
// preparation for fatal errors.
#include "app/FatalErrors.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int)
{
    if (lpCmdLine != nullptr && std::strstr(lpCmdLine, "crash") != nullptr) {
        EndAtOnceOnFatalErrors();
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    throw std::runtime_error("fatal");
}
