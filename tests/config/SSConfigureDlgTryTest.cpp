// Settings and Preview start the selected saver (the recording fixture) as a child and
// wait for it while the dialog goes on working.
#include "config/SSConfigureDlg.h"

#include "settings/SSSettings.h"
#include "settings/SaverHealth.h"
#include "tests/config/ConfigTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TestPaths.h"
#include "ui/UniqueHandle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using namespace configtest;

namespace {

HWND List(HWND hWndDialog) { return ::GetDlgItem(hWndDialog, IDC_SAVER_LIST); }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The recorder in a folder whose name has blanks, its record file named in our environment
// (the child inherits it).
class ConfigDialogTryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        recorder = folder.Add(fixture::kRecorder.fileName);
        folder.Add(fixture::kSampleAurora.fileName);
        WriteFolders({folder.Path()});
        recordFile = folder.Path() + "\\record.txt";
        ::SetEnvironmentVariableA(fixture::kRecordFileVariable, recordFile.c_str());
        settings.Load();
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableA(fixture::kRecordFileVariable, nullptr);
        ::DeleteFileA(recordFile.c_str());
    }

    std::string Record() const { return ReadFile(recordFile); }

    // Selects the recorder's row alone.
    static bool SelectRecorder(HWND hWnd)
    {
        const int row = FindRow(List(hWnd), FIXTURE_DESCRIPTION_RECORDER);
        EXPECT_NE(row, -1);
        SelectRows(List(hWnd), {row});
        return true;
    }

    ScratchRegistry registry;
    ScratchSaverFolder folder{"Quillmix Try Savers"};
    SSSettings settings;
    std::string recorder, recordFile;
};

// While it waits for the saver the dialog is disabled, so that no click starts a second
// saver or presses OK, and it still paints.
TEST_F(ConfigDialogTryTest, PreviewRunsTheSaverFullScreenWhileTheDialogWaitsDisabled)
{
    SSConfigureDlg dlg(settings);
    bool bPaintedDuringWait = false;
    HWND hWndSaver = nullptr;
    ModalScript script;
    script.Then(SelectRecorder)
        .Then(PostClick(IDC_PREVIEW))
        .Then([&](HWND hWnd) {
            // Inside the wait for the child: its window shows, the dialog stays.
            if (!Contains(Record(), fixture::kRecordReady))
                return false;
            hWndSaver = ::FindWindowA(fixture::kSaverWindowClass, nullptr);
            EXPECT_NE(hWndSaver, nullptr);
            EXPECT_TRUE(::IsWindowVisible(hWnd));
            EXPECT_FALSE(::IsWindowEnabled(hWnd));
            ::InvalidateRect(hWnd, nullptr, TRUE);
            return true;
        })
        .Then([&](HWND hWnd) {
            bPaintedDuringWait = ::GetUpdateRect(hWnd, nullptr, FALSE) == FALSE;
            // The user presses a key: the saver ends by itself.
            ::PostMessageA(hWndSaver, WM_KEYDOWN, VK_SPACE, 1);
            return true;
        })
        .Then([&](HWND) {
            if (hWndSaver != nullptr && ::IsWindow(hWndSaver))
                return false;
            return true;
        })
        .Then(PostClick(IDCANCEL));
    script.Run(dlg);
    EXPECT_TRUE(bPaintedDuringWait);
    const std::string record = Record();
    EXPECT_TRUE(Contains(
        record, std::string(fixture::kRecordCmdLinePrefix) + ShortPathOf(recorder) + " /s\r\n"))
        << record;
}

// Run mode's records show in the Status column and, for the selected saver, under the list.
// Preview gives a saver that was left out a fresh start, which OK stores; OK also drops the
// record of a saver whose file is gone.
TEST_F(ConfigDialogTryTest, PreviewGivesALeftOutSaverAFreshStartAndOkKeepsIt)
{
    const std::string aurora = folder.Path() + "\\" + fixture::kSampleAurora.fileName;
    const std::string gone = folder.Path() + "\\Gone.scr";
    {
        SaverHealth health(true);
        for (DWORD i = 0; i < kLeaveOutAfterFailures; ++i)
            health.NoteFailure(recorder, SaverFault::Crashed, true, 0xC0000005);
        health.NoteFailure(aurora, SaverFault::CouldNotStart, false, 0);
        health.NoteFailure(aurora, SaverFault::QuitAtOnce, true, 0);
        health.NoteFailure(gone, SaverFault::CouldNotStart, false, 0);
    }
    SSConfigureDlg dlg(settings);
    std::string detailsBefore, detailsAfter, statusAfter;
    HWND hWndSaver = nullptr;
    UniqueHandle saver;
    ModalScript script;
    script
        .Then([&](HWND hWnd) {
            HWND hWndList = List(hWnd);
            EXPECT_EQ(RowText(hWndList, FindRow(hWndList, FIXTURE_DESCRIPTION_RECORDER), 1),
                      "Left out: crashed 3 times in a row");
            EXPECT_EQ(RowText(hWndList, FindRow(hWndList, FIXTURE_DESCRIPTION_SAMPLE_AURORA), 1),
                      "Quit at once")
                << "the count in brackets is of this fault";
            EXPECT_EQ(WindowText(::GetDlgItem(hWnd, IDC_SAVER_DETAILS)), "");
            return SelectRecorder(hWnd);
        })
        .Then([&](HWND hWnd) {
            detailsBefore = WindowText(::GetDlgItem(hWnd, IDC_SAVER_DETAILS));
            return true;
        })
        .Then(PostClick(IDC_PREVIEW))
        .Then([&](HWND) {
            hWndSaver = ::FindWindowA(fixture::kSaverWindowClass, nullptr);
            if (hWndSaver == nullptr || !Contains(Record(), fixture::kRecordReady))
                return false;
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hWndSaver, &pid);
            saver.reset(::OpenProcess(SYNCHRONIZE, FALSE, pid));
            ::PostMessageA(hWndSaver, WM_KEYDOWN, VK_SPACE, 1);
            return true;
        })
        // Once the saver has ended, the dialog's wait for it returns before the next step.
        .Then([&](HWND) { return ::WaitForSingleObject(saver.get(), 0) != WAIT_TIMEOUT; })
        .Then([&](HWND hWnd) {
            HWND hWndList = List(hWnd);
            statusAfter = RowText(hWndList, FindRow(hWndList, FIXTURE_DESCRIPTION_RECORDER), 1);
            detailsAfter = WindowText(::GetDlgItem(hWnd, IDC_SAVER_DETAILS));
            return true;
        })
        .Then(PostClick(IDOK));
    script.Run(dlg);
    EXPECT_TRUE(Contains(detailsBefore, "0xC0000005")) << detailsBefore;
    EXPECT_TRUE(Contains(detailsBefore, "left out")) << detailsBefore;
    EXPECT_EQ(statusAfter, "");
    EXPECT_EQ(detailsAfter, "");
    const SaverHealth health(false);
    EXPECT_FALSE(health.Find(recorder, nullptr)) << "tried again: a fresh start";
    EXPECT_TRUE(health.Find(aurora, nullptr));
    EXPECT_EQ(health.GetEntryCount(), 1u) << "the record of the gone saver is dropped";
}

TEST_F(ConfigDialogTryTest, SettingsStartsTheSaverOwnedByTheDialogAndWaitsUntilItsBoxCloses)
{
    SSConfigureDlg dlg(settings);
    HWND hWndBox = nullptr;
    bool bStillOpen = false;
    ModalScript script;
    script.Then(SelectRecorder)
        .Then(PostClick(IDC_SETTINGS))
        .Then([&](HWND hWnd) {
            hWndBox = FindOwnedDialog(hWnd, 0);
            if (hWndBox == nullptr)
                return false;
            EXPECT_EQ(WindowText(hWndBox), FIXTURE_DESCRIPTION_RECORDER);
            bStillOpen = ::IsWindowVisible(hWnd) != FALSE;
            ::PostMessageA(hWndBox, WM_COMMAND, IDOK, 0);
            return true;
        })
        .Then([&](HWND) { return !::IsWindow(hWndBox); })
        .Then(PostClick(IDCANCEL));
    script.Run(dlg);
    EXPECT_TRUE(bStillOpen);
    char expected[64];
    std::snprintf(expected, sizeof(expected), " /c %ld\r\n",
                  static_cast<long>(reinterpret_cast<LONG_PTR>(script.LastDialog())));
    const std::string record = Record();
    EXPECT_TRUE(Contains(
        record, std::string(fixture::kRecordCmdLinePrefix) + ShortPathOf(recorder) + expected))
        << record;
}

TEST_F(ConfigDialogTryTest, WithNoOrSeveralRowsSelectedTheButtonsStartNothing)
{
    SSConfigureDlg dlg(settings);
    ModalScript script;
    script
        .Then([](HWND hWnd) {
            SelectRows(List(hWnd), {0, 1});
            // Enabled against the selection, as the template starts them, they still do nothing.
            ::EnableWindow(::GetDlgItem(hWnd, IDC_SETTINGS), TRUE);
            ::EnableWindow(::GetDlgItem(hWnd, IDC_PREVIEW), TRUE);
            ::SendMessageA(::GetDlgItem(hWnd, IDC_PREVIEW), BM_CLICK, 0, 0);
            ::SendMessageA(::GetDlgItem(hWnd, IDC_SETTINGS), BM_CLICK, 0, 0);
            SelectRows(List(hWnd), {});
            ::EnableWindow(::GetDlgItem(hWnd, IDC_SETTINGS), TRUE);
            ::EnableWindow(::GetDlgItem(hWnd, IDC_PREVIEW), TRUE);
            ::SendMessageA(::GetDlgItem(hWnd, IDC_PREVIEW), BM_CLICK, 0, 0);
            ::SendMessageA(::GetDlgItem(hWnd, IDC_SETTINGS), BM_CLICK, 0, 0);
            return true;
        })
        .Then(PostClick(IDCANCEL));
    script.Run(dlg);
    EXPECT_EQ(::GetFileAttributesA(recordFile.c_str()), INVALID_FILE_ATTRIBUTES) << Record();
}

TEST_F(ConfigDialogTryTest, ASaverThatCannotStartIsPassedOverSilently)
{
    SSConfigureDlg dlg(settings);
    ModalScript script;
    script.Then(SelectRecorder)
        .Then([&](HWND hWnd) {
            // The file vanishes after the list was filled.
            EXPECT_TRUE(::DeleteFileA(recorder.c_str()));
            ::SendMessageA(::GetDlgItem(hWnd, IDC_PREVIEW), BM_CLICK, 0, 0);
            EXPECT_EQ(FindOwnedDialog(hWnd, 0), nullptr) << "no message";
            EXPECT_TRUE(::IsWindowVisible(hWnd));
            return true;
        })
        .Then(PostClick(IDCANCEL));
    script.Run(dlg);
    EXPECT_EQ(::GetFileAttributesA(recordFile.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
