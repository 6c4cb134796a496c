#include "app/FatalErrors.h"

namespace {

LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS*)
{
    ::TerminateProcess(::GetCurrentProcess(), kFatalErrorExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void EndAtOnceOnFatalErrors() noexcept
{
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(EndOnUnhandledException);
}
