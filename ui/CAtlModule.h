#pragma once
#include <windows.h>

#include <objidl.h>

#include <vector>

// The one module object of the process: its instance handle and the windows being
// created, so that a window procedure can find its object at the very first message.
class CAtlModule {
public:
    CAtlModule() noexcept;
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    virtual ~CAtlModule();
    virtual LONG Lock() noexcept;
    virtual LONG Unlock() noexcept;
    virtual LONG GetLockCount() const noexcept;
    // The process's global interface table, made on first use; nullptr without COM.
    virtual IGlobalInterfaceTable* GetGITPtr() noexcept;

    // The module object, or nullptr before it exists and after it is gone.
    static CAtlModule* Instance() noexcept;

    HINSTANCE GetModuleInstance() const noexcept { return m_hInstance; }
    DWORD GetMainThreadId() const noexcept { return m_dwMainThreadID; }

    // Window creation: the object is registered for the creating thread just before
    // CreateWindowExA or DialogBoxIndirectParamA, and taken back by the first message.
    void AddCreateWndData(void* pObject) noexcept;
    void* ExtractCreateWndData() noexcept;
    // Drops an entry that no message took (the creation failed before its first message).
    void RemoveCreateWndData(void* pObject) noexcept;

private:
    struct CreateWndData {
        void* pObject;
        DWORD dwThreadID;
    };

    HINSTANCE m_hInstance;
    DWORD m_dwMainThreadID;
    LONG m_nLockCnt = 0;
    IGlobalInterfaceTable* m_pGIT = nullptr;
    CRITICAL_SECTION m_csWindowCreate;
    std::vector<CreateWndData> m_createWndData;
};

template <class T> class CAtlModuleT : public CAtlModule {
};

// The module of an executable: COM is initialised for the main thread while it lives.
template <class T> class CAtlExeModuleT : public CAtlModuleT<T> {
public:
    CAtlExeModuleT() noexcept
        : m_hrCoInit(::CoInitialize(nullptr))
    {
    }
    ~CAtlExeModuleT() override
    {
        if (SUCCEEDED(m_hrCoInit))
            ::CoUninitialize();
    }

private:
    HRESULT m_hrCoInit;
};
