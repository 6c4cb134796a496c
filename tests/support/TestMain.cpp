// Entry of every test program: the module object the window framework needs, the
// common controls, then GoogleTest.
#include "ui/CAtlModule.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {
class TestModule : public CAtlExeModuleT<TestModule> { };
}  // namespace

int main(int argc, char** argv)
{
    TestModule module;
    ::InitCommonControls();
    // A crash must fail the test, not wait for somebody to close Wine's crash dialog.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
