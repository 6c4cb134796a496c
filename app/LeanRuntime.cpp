// Replacements for parts of the static C++ runtime that a GUI screen saver does not need
// and that cost more than half of the 32-bit .scr. The linker takes these because
// the executable's own objects come before the library; should the library ever need the
// originals as well, the link fails with a duplicate definition instead of growing.
#include "app/FatalErrors.h"

#include <windows.h>

#include <exception>
#include <new>
#include <typeinfo>

namespace {

// The library's logic and runtime errors carry their message in a copy-on-write string,
// a second string implementation that the static runtime links whole (with its unwind
// tables, which the 32-bit linker never drops). This one keeps the literal the library
// passes. Nothing in the product catches those errors by type: only std::bad_alloc,
// which stays exact, and catch (...) at the window procedures and WinMain.
class LibraryError : public std::exception {
public:
    explicit LibraryError(const char* pszWhat) noexcept
        : m_pszWhat(pszWhat != nullptr ? pszWhat : "library error")
    {
    }
    const char* what() const noexcept override { return m_pszWhat; }

private:
    const char* m_pszWhat;
};

}  // namespace

// NOLINTBEGIN(cert-dcl58-cpp): these are libstdc++'s own hooks, defined in its namespaces.
namespace __gnu_cxx {
// The default prints the exception's demangled type to stderr, which a GUI program does
// not have, and links the whole demangler for it. abort would show the runtime's modal box,
// hidden under run mode's topmost cover with the saver still running: the process ends at
// once instead, and the job of its saver takes the saver with it.
void __verbose_terminate_handler()
{
    ::TerminateProcess(::GetCurrentProcess(), kFatalErrorExitCode);
}
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_logic_error(const char* psz) { throw LibraryError(psz); }
void __throw_domain_error(const char* psz) { throw LibraryError(psz); }
void __throw_invalid_argument(const char* psz) { throw LibraryError(psz); }
void __throw_length_error(const char* psz) { throw LibraryError(psz); }
void __throw_out_of_range(const char* psz) { throw LibraryError(psz); }
void __throw_out_of_range_fmt(const char* pszFormat, ...) { throw LibraryError(pszFormat); }
void __throw_runtime_error(const char* psz) { throw LibraryError(psz); }
void __throw_range_error(const char* psz) { throw LibraryError(psz); }
void __throw_overflow_error(const char* psz) { throw LibraryError(psz); }
void __throw_underflow_error(const char* psz) { throw LibraryError(psz); }
}  // namespace std
// NOLINTEND(cert-dcl58-cpp)

// The few POSIX thread calls of the runtime's unwinder, emergency exception pool and
// thread-local emulation, on Win32 directly: winpthreads, which the compiler's thread
// model would link for them, is a whole threading library (28 KB of the 32-bit .scr).
// The types are winpthreads' own: a mutex is a pointer-sized word, -1 until first used
// (its static initialiser), here a slim reader/writer lock, which is pointer-sized too.
extern "C" {
using LeanMutex = INT_PTR;
using LeanOnce = LONG;
using LeanKey = unsigned;
constexpr INT_PTR kMutexInitializer = -1;
constexpr LONG kOnceRunning = 1;
constexpr LONG kOnceDone = 2;

int pthread_mutex_init(LeanMutex* pMutex, const void*)
{
    *pMutex = 0;
    return 0;
}
int pthread_mutex_destroy(LeanMutex*) { return 0; }
int pthread_mutex_lock(LeanMutex* pMutex)
{
    ::InterlockedCompareExchangePointer(reinterpret_cast<PVOID*>(pMutex), nullptr,
                                        reinterpret_cast<PVOID>(kMutexInitializer));
    ::AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(pMutex));
    return 0;
}
int pthread_mutex_unlock(LeanMutex* pMutex)
{
    ::ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(pMutex));
    return 0;
}
int pthread_once(LeanOnce* pOnce, void (*pfnInit)())
{
    if (::InterlockedCompareExchange(pOnce, kOnceRunning, 0) == 0) {
        pfnInit();
        ::InterlockedExchange(pOnce, kOnceDone);
    }
    while (::InterlockedCompareExchange(pOnce, kOnceDone, kOnceDone) != kOnceDone)
        ::SwitchToThread();
    return 0;
}
// The destructor would free a thread's emulated thread-locals at its end; the one thread
// besides the main one lives as long as the process.
int pthread_key_create(LeanKey* pKey, void (*)(void*))
{
    const DWORD dwIndex = ::TlsAlloc();
    if (dwIndex == TLS_OUT_OF_INDEXES)
        return ERROR_NOT_ENOUGH_MEMORY;
    *pKey = dwIndex;
    return 0;
}
void* pthread_getspecific(LeanKey key) { return ::TlsGetValue(key); }
int pthread_setspecific(LeanKey key, const void* pValue)
{
    return ::TlsSetValue(key, const_cast<void*>(pValue)) ? 0 : ERROR_INVALID_PARAMETER;
}
}
