#include "ui/CAtlModule.h"

#include <algorithm>

namespace {
CAtlModule* g_module = nullptr;
}

CAtlModule::CAtlModule() noexcept
    : m_hInstance(::GetModuleHandleA(nullptr))
    , m_dwMainThreadID(::GetCurrentThreadId())
{
    ::InitializeCriticalSection(&m_csWindowCreate);
    g_module = this;
}

CAtlModule::~CAtlModule()
{
    if (m_pGIT != nullptr)
        m_pGIT->Release();
    ::DeleteCriticalSection(&m_csWindowCreate);
    if (g_module == this)
        g_module = nullptr;
}

LONG CAtlModule::Lock() noexcept { return ::InterlockedIncrement(&m_nLockCnt); }

LONG CAtlModule::Unlock() noexcept { return ::InterlockedDecrement(&m_nLockCnt); }

LONG CAtlModule::GetLockCount() const noexcept { return m_nLockCnt; }

IGlobalInterfaceTable* CAtlModule::GetGITPtr() noexcept
{
    if (m_pGIT == nullptr) {
        ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&m_pGIT));
    }
    return m_pGIT;
}

CAtlModule* CAtlModule::Instance() noexcept { return g_module; }

void CAtlModule::AddCreateWndData(void* pObject) noexcept
{
    ::EnterCriticalSection(&m_csWindowCreate);
    try {
        m_createWndData.push_back({pObject, ::GetCurrentThreadId()});
    } catch (...) {
        // Out of memory: the window will find no object and be refused at its first message.
    }
    ::LeaveCriticalSection(&m_csWindowCreate);
}

void* CAtlModule::ExtractCreateWndData() noexcept
{
    void* pObject = nullptr;
    const DWORD dwThreadID = ::GetCurrentThreadId();
    ::EnterCriticalSection(&m_csWindowCreate);
    // The newest entry of this thread: creation may nest (a window made in WM_CREATE).
    auto it =
        std::find_if(m_createWndData.rbegin(), m_createWndData.rend(),
                     [dwThreadID](const CreateWndData& d) { return d.dwThreadID == dwThreadID; });
    if (it != m_createWndData.rend()) {
        pObject = it->pObject;
        m_createWndData.erase(std::next(it).base());
    }
    ::LeaveCriticalSection(&m_csWindowCreate);
    return pObject;
}

void CAtlModule::RemoveCreateWndData(void* pObject) noexcept
{
    const DWORD dwThreadID = ::GetCurrentThreadId();
    ::EnterCriticalSection(&m_csWindowCreate);
    m_createWndData.erase(std::remove_if(m_createWndData.begin(), m_createWndData.end(),
                                         [&](const CreateWndData& d) {
                                             return d.pObject == pObject &&
                                                 d.dwThreadID == dwThreadID;
                                         }),
                          m_createWndData.end());
    ::LeaveCriticalSection(&m_csWindowCreate);
}
