// Run mode of the built Quillmix.scr, end to end: the product started with "/S" as a
// screen-saver host would start it, its settings in the registry key it reads, the fixture
// savers as its children, the screen read back through the screen's DC and the user's
// input given with SendInput. The product reads the real HKEY_CURRENT_USER of the Wine
// prefix, so each test writes the key itself and removes it afterwards (the display lock
// of the GUI tests keeps the other users of that key away meanwhile).
#include "run/RunLoop.h"
#include "run/SSFadeWnd.h"
#include "saver/ChildSaver.h"
#include "settings/SaverHealth.h"
#include "tests/app/ChildTestSupport.h"
#include "tests/e2e/ProductTestSupport.h"
#include "tests/fixtures/FixtureNames.h"
#include "tests/run/RunTestSupport.h"
#include "tests/support/TestPaths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using e2e::ExitTimeOf;
using e2e::InjectedInputWatch;
using e2e::kCoverWindowText;
using e2e::kFileTimePerMs;
using e2e::PointerShown;
using e2e::ProductSettings;
using e2e::RunningProduct;

const COLORREF kBlack = RGB(0, 0, 0);
// A mouse move that ends a well-behaved saver (and the cover when no saver runs).
const LONG kUserMove = 40;
// Hang guards: a process that has not ended by then is taken for hung. Never a limit on
// how fast anything has to be.
const DWORD kEndGuardMs = 30000;
// The class of a fixture's settings box.
const char kDialogClass[] = "#32770";
// GetTickCount and the process times advance in steps of up to this much.
const DWORD kClockStepMs = 20;
// A quiet pause between runs; a wait past the default fade into a saver.
const DWORD kQuietPauseMs = 4000;
const DWORD kAfterFadeMs = 1200;
// The gesture's way through xdotool and the X server, and the watch's poll, beyond the grace.
const DWORD kGestureSlackMs = 500;

bool IsTopmost(HWND hWnd) { return (::GetWindowLongA(hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

bool CoversTheVirtualScreen(HWND hWnd)
{
    RECT rc = {};
    ::GetWindowRect(hWnd, &rc);
    const RECT vs = VirtualScreen();
    return ::EqualRect(&rc, &vs) != FALSE;
}

bool RecordHasLine(const RecordFile& record, const std::string& text)
{
    for (const std::string& line : record.Lines())
        if (line == text)
            return true;
    return false;
}

// Copies of a fixture saver under names of their own, in a folder whose name has blanks.
std::vector<std::string> CopiesOf(const apptest::ScratchDir& dir, const char* fixtureFile,
                                  const std::vector<std::string>& names)
{
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(dir.CopyIn(FixturePath(fixtureFile), name));
        EXPECT_FALSE(paths.back().empty()) << name;
    }
    return paths;
}

// The long path of the saver of a record's command line, started as "PATH /s".
std::string PathOfCommandLine(const std::string& line)
{
    const std::string text = line.substr(std::string(fixture::kRecordCmdLinePrefix).size());
    return LongPathOf(text.substr(0, text.rfind(' ')));
}

// The saver that the product started first, from its record; "" when there is none.
std::string StartedPath(const RecordFile& record)
{
    const std::vector<std::string> lines = record.LinesStartingWith(fixture::kRecordCmdLinePrefix);
    return lines.empty() ? std::string() : PathOfCommandLine(lines.front());
}

// Run mode's record of a saver, as the product left it; false when there is none.
bool HealthOf(const std::string& path, SaverHealthRecord* pRecord)
{
    return SaverHealth(false).Find(path, pRecord);
}

// A record that says the saver crashed kLeaveOutAfterFailures times in a row, for its file
// as it is now.
std::vector<BYTE> LeftOutRecord(const std::string& path)
{
    SaverHealthRecord record;
    for (DWORD i = 0; i < kLeaveOutAfterFailures; ++i)
        record.AddFailure(SaverFault::Crashed, true, EXCEPTION_ACCESS_VIOLATION,
                          e2e::FileTimeNow());
    record.StampFile(path);
    return record.ToBytes();
}

// Gives the file another last-write time, as an updated saver would have.
bool Touch(const std::string& path)
{
    UniqueHandle file(
        ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME ft = {};
    ::GetSystemTimeAsFileTime(&ft);
    return file.get() != INVALID_HANDLE_VALUE && ::SetFileTime(file.get(), nullptr, nullptr, &ft);
}

}  // namespace

// Ten runs in a row with switching off and the default fades, each started with "/S" and
// ended by one gesture of a person (two moves through the X server, during the saver's fade
// in or after it, some after a quiet pause): the product shows its black cover, starts one
// saver of the selection with the saver path, a blank and its lower-cased command line,
// records it in LastStarted and ends with code 0 within the grace of the gesture, leaving no
// process behind. The runs go through the stored round: every five
// runs show each of the five savers once, and no saver comes twice in a row, not even
// where one round ends and the next begins.
TEST(RunModeEndToEnd, RunsInARowStartOneShuffledSaverEachAndEndOnTheUsersInput)
{
    const int kRuns = 10;
    apptest::ScratchDir dir;
    const std::vector<std::string> savers = CopiesOf(
        dir, fixture::kRecorder.fileName,
        {"Saver One.scr", "Saver Two.scr", "Saver Three.scr", "Saver Four.scr", "Saver Five.scr"});
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers(savers));
    // A desktop that is not black: a cover that did not paint would show it.
    Backdrop backdrop;

    std::vector<std::string> firsts;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // A quiet machine now and then: the first run after it once missed the gesture.
        if (run % 4 == 3)
            ::Sleep(kQuietPauseMs);
        RecordFile record;
        RunningProduct product("/S");
        ASSERT_TRUE(product);
        ASSERT_TRUE(product.RunsUntil([&] { return RecordHasLine(record, fixture::kRecordReady); }))
            << "no saver ran: " << testing::PrintToString(record.Lines());

        // The cover is up behind the saver, topmost over the whole screen.
        HWND cover = product.WaitForCover();
        ASSERT_NE(cover, nullptr);
        EXPECT_TRUE(IsTopmost(cover));
        EXPECT_TRUE(CoversTheVirtualScreen(cover));

        const std::string started = StartedPath(record);
        firsts.push_back(started);
        EXPECT_NE(std::find(savers.begin(), savers.end(), started), savers.end()) << started;
        EXPECT_EQ(
            record.LinesStartingWith(fixture::kRecordCmdLinePrefix),
            std::vector<std::string>{fixture::kRecordCmdLinePrefix + ShortPathOf(started) + " /s"});
        // The saver found black on the whole screen, not the desktop. Wine differs from
        // Windows here: it gives a new window black pixels, so on Wine this read does not
        // tell the cover's black fill from no painting at all; run_cover_test checks the
        // fill itself through WM_PRINTCLIENT.
        EXPECT_EQ(record.LinesStartingWith(fixture::kRecordScreenPrefix),
                  std::vector<std::string>{ScreenLine(kBlack)});
        EXPECT_EQ(settings.GetString("LastStarted"), started);
        EXPECT_TRUE(settings.IsCleanString("LastStarted"));

        // The gesture in the saver's fade in every third run, else well after it.
        if (run % 3 != 0)
            apptest::PumpFor(kAfterFadeMs);
        const ULONGLONG gesture = e2e::FileTimeNow();
        ASSERT_TRUE(XPointerGesture(run % 2 == 0 ? kUserMove : -kUserMove, kUserMove));
        ASSERT_EQ(product.WaitForExitCode(kEndGuardMs), 0u) << "the gesture did not end the run";
        const ULONGLONG endedMs = (ExitTimeOf(product.get()) - gesture) / kFileTimePerMs;
        std::printf("run %d ended %llu ms after the gesture\n", run, endedMs);
        EXPECT_LE(endedMs, kChildStopGraceMs + kGestureSlackMs);
        EXPECT_FALSE(product.HasChildLeft());
        EXPECT_TRUE(RecordHasLine(record, fixture::kRecordEnd)) << "the saver did not end itself";
        // Nothing of the run is left on the screen, and the pointer is back.
        EXPECT_EQ(::FindWindowA(fixture::kSaverWindowClass, nullptr), nullptr);
        EXPECT_EQ(::FindWindowA(nullptr, kCoverWindowText), nullptr);
        EXPECT_TRUE(PointerShown());
    }

    std::vector<std::string> sorted = savers;
    std::sort(sorted.begin(), sorted.end());
    for (size_t begin = 0; begin + savers.size() <= firsts.size(); begin += savers.size()) {
        std::vector<std::string> round(firsts.begin() + begin,
                                       firsts.begin() + begin + savers.size());
        std::sort(round.begin(), round.end());
        EXPECT_EQ(round, sorted) << "runs from " << begin << ": " << testing::PrintToString(firsts);
    }
    for (size_t i = 1; i < firsts.size(); ++i)
        EXPECT_NE(firsts[i], firsts[i - 1]) << "runs " << i - 1 << " and " << i;
}

// With no saver selected, and with a selection of which none can be started, run mode
// keeps its black cover up, injects nothing, and ends with code 0 on the user's first
// real mouse move.
TEST(RunModeEndToEnd, WithoutAStartableSaverTheBlackCoverEndsOnTheUsersInput)
{
    apptest::ScratchDir dir;
    // A library maps as a saver file but cannot be started as a program.
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    const std::string library = dir.CopyIn(std::string(system) + "\\version.dll", "Library.scr");
    ASSERT_FALSE(library.empty());
    const std::vector<std::vector<std::string>> selections = {{}, {library}};

    for (const std::vector<std::string>& selection : selections) {
        SCOPED_TRACE(selection.empty() ? "no saver selected" : "a saver that cannot start");
        ProductSettings settings;
        ASSERT_TRUE(settings.SetSavers(selection));
        ASSERT_TRUE(settings.SetDword("ShuffleSavers", 1));
        ASSERT_TRUE(settings.SetDword("ShuffleDelay", 1));
        Backdrop backdrop;
        std::string seen;
        ASSERT_TRUE(ScreenShows(kBackdropColor, &seen)) << seen;
        POINT before = {};
        ::GetCursorPos(&before);

        RunningProduct product("/s");
        ASSERT_TRUE(product);
        HWND cover = product.WaitForCover();
        ASSERT_NE(cover, nullptr);
        EXPECT_TRUE(IsTopmost(cover));
        EXPECT_TRUE(CoversTheVirtualScreen(cover));
        // On Wine a window that never painted shows black too (see the first test).
        EXPECT_TRUE(ScreenShows(kBlack, &seen)) << seen;
        // The cover is shown first and the pointer hidden right after (ShowWindow, then
        // ShowCursor), as on Windows; under Wine 10 another process can look in between.
        EXPECT_TRUE(product.RunsUntil([] { return !PointerShown(); }));
        // Still up after a while, and the pointer was not moved by injected input.
        apptest::PumpFor(kEndGuardMs / 60);
        EXPECT_FALSE(product.HasEnded());
        POINT after = {};
        ::GetCursorPos(&after);
        EXPECT_EQ(after.x, before.x);
        EXPECT_EQ(after.y, before.y);

        EXPECT_EQ(product.EndByUser([] { SendMouseMove(kUserMove, kUserMove); }, kEndGuardMs), 0u);
        EXPECT_TRUE(PointerShown());
        SendMouseMove(-kUserMove, -kUserMove);
    }
}

// Switching every minute with the desktop shown between savers. The first saver has
// started a helper that ignores the injected input: the helper is terminated no sooner
// than the grace after that input, with the rest of the saver's processes, and only then
// does the next saver start, finding the desktop snapshot on the screen. LastStarted keeps
// the first saver: switching never writes it.
TEST(RunModeEndToEnd, SwitchTerminatesASaverThatIgnoresInputAndShowsTheSnapshotBeforeTheNext)
{
    apptest::ScratchDir dir;
    const std::string ignoring =
        dir.CopyIn(FixturePath(fixture::kWithHelper.fileName), "With Helper.scr");
    const std::string recorder = dir.CopyIn(FixturePath(fixture::kRecorder.fileName), "Rec.scr");
    ASSERT_FALSE(ignoring.empty());
    ASSERT_FALSE(
        dir.CopyIn(FixturePath(fixture::kHelper.fileName), fixture::kHelper.fileName).empty());
    ASSERT_FALSE(recorder.empty());
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({ignoring, recorder}));
    ASSERT_TRUE(settings.SetDword("ShuffleSavers", 1));
    ASSERT_TRUE(settings.SetDword("ShuffleDelay", 1));
    ASSERT_TRUE(settings.SetDword("ShowDesktop", 1));
    // Of two savers, the one that did not come first last time comes first.
    ASSERT_TRUE(settings.SetString("LastStarted", recorder));
    RecordFile record;

    auto backdrop = std::make_unique<Backdrop>();
    std::string seen;
    ASSERT_TRUE(ScreenShows(kBackdropColor, &seen)) << seen;
    RunningProduct product("/s");
    ASSERT_TRUE(product);
    HWND ignoringWindow = nullptr;
    ASSERT_TRUE(product.RunsUntil([&] {
        ignoringWindow = ::FindWindowA(fixture::kSaverWindowClass, fixture::kHelper.description);
        return ignoringWindow != nullptr && ::IsWindowVisible(ignoringWindow);
    }));
    UniqueHandle saver = product.WaitForSaver(fixture::kWithHelper.description);
    ASSERT_TRUE(saver);
    InjectedInputWatch injected;
    ASSERT_TRUE(injected.IsHooked());
    POINT pointer = {};
    ASSERT_TRUE(::GetCursorPos(&pointer));
    LASTINPUTINFO lastInput = {sizeof(lastInput), 0};
    ASSERT_TRUE(::GetLastInputInfo(&lastInput));
    // The snapshot was taken before the cover came, long before this saver: from now on
    // only the snapshot can show the backdrop's colour.
    backdrop.reset();
    EXPECT_EQ(settings.GetString("LastStarted"), ignoring);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(ignoringWindow, &pid);
    UniqueHandle ignoringProcess(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    ASSERT_TRUE(ignoringProcess);

    // About a minute later: the switch.
    ASSERT_TRUE(product.RunsUntil([&] {
        return ::WaitForSingleObject(ignoringProcess.get(), 0) == WAIT_OBJECT_0;
    })) << "the product ended with its first saver";
    EXPECT_EQ(apptest::ExitCodeOf(ignoringProcess.get()), 0u) << "terminated with code 0";
    // The saver itself closed at once; its helper, deaf to the close, had the grace.
    ASSERT_EQ(::WaitForSingleObject(saver.get(), 0), WAIT_OBJECT_0) << "its helper outlived it";
    const ULONGLONG graceMs =
        (ExitTimeOf(ignoringProcess.get()) - ExitTimeOf(saver.get())) / kFileTimePerMs;
    std::printf("the helper deaf to the close ended %llu ms after its saver\n", graceMs);
    EXPECT_GE(graceMs + kClockStepMs, kChildStopGraceMs) << "terminated before the grace was up";

    ASSERT_TRUE(product.RunsUntil([&] { return RecordHasLine(record, fixture::kRecordReady); }))
        << testing::PrintToString(record.Lines());
    EXPECT_EQ(
        record.LinesStartingWith(fixture::kRecordCmdLinePrefix),
        std::vector<std::string>{fixture::kRecordCmdLinePrefix + ShortPathOf(recorder) + " /s"});
    EXPECT_EQ(record.LinesStartingWith(fixture::kRecordScreenPrefix),
              std::vector<std::string>{ScreenLine(kBackdropColor)});
    EXPECT_EQ(settings.GetString("LastStarted"), ignoring);
    // The switch faked no input: nothing for the system to count as the user's activity,
    // and the pointer where it was.
    EXPECT_TRUE(injected.SeenTimes().empty()) << "input injected at the switch";
    POINT pointerAfter = {};
    ASSERT_TRUE(::GetCursorPos(&pointerAfter));
    EXPECT_TRUE(pointerAfter.x == pointer.x && pointerAfter.y == pointer.y);
    LASTINPUTINFO lastInputAfter = {sizeof(lastInputAfter), 0};
    ASSERT_TRUE(::GetLastInputInfo(&lastInputAfter));
    std::printf("the last input time moved by %lu ms over the switch\n",
                lastInputAfter.dwTime - lastInput.dwTime);

    EXPECT_EQ(product.EndByUser([] { SendMouseMove(kUserMove, kUserMove); }, kEndGuardMs), 0u);
    EXPECT_TRUE(RecordHasLine(record, fixture::kRecordEnd));
}

// Savers that die with nobody at the machine are passed over: the run reaches the good one
// and ends only on the user's input. The good one came first last time, so a broken one
// comes first now, and LastStarted names it.
TEST(RunModeEndToEnd, SaversThatDieArePassedOverUntilTheUsersInputEndsAGoodOne)
{
    const std::string recorder = FixturePath(fixture::kRecorder.fileName);
    const std::vector<std::string> broken = {FixturePath(fixture::kCrash.fileName),
                                             FixturePath(fixture::kExitAtOnce.fileName),
                                             FixturePath(fixture::kExitLater.fileName)};
    ProductSettings settings;
    std::vector<std::string> selection = broken;
    selection.push_back(recorder);
    ASSERT_TRUE(settings.SetSavers(selection));
    ASSERT_TRUE(settings.SetString("LastStarted", recorder));

    RunningProduct product("/s");
    ASSERT_TRUE(product);
    ASSERT_TRUE(product.WaitForSaver(fixture::kRecorder.description)) << "the run ended first";
    const std::string first = settings.GetString("LastStarted");
    EXPECT_NE(std::find(broken.begin(), broken.end(), first), broken.end()) << first;
    EXPECT_EQ(product.EndByUser([] { SendMouseMove(kUserMove, kUserMove); }, kEndGuardMs), 0u);
}

// Savers that all die: after one round the black cover stays up, with no saver started
// again before the retry time, until the user's input.
TEST(RunModeEndToEnd, SaversThatAllDieLeaveTheBlackCoverUpUntilTheUsersInput)
{
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({FixturePath(fixture::kCrash.fileName),
                                    FixturePath(fixture::kExitLater.fileName),
                                    FixturePath(fixture::kExitAtOnce.fileName)}));
    RecordFile record;
    RunningProduct product("/s");
    ASSERT_TRUE(product);
    ASSERT_TRUE(product.WaitForSaver(fixture::kExitLater.description));
    ASSERT_TRUE(product.RunsUntil(
        [] { return ::FindWindowA(fixture::kSaverWindowClass, nullptr) == nullptr; }));
    apptest::PumpFor(2 * fixture::kExitLaterMs);
    EXPECT_FALSE(product.HasEnded());
    EXPECT_EQ(record.LinesStartingWith(fixture::kRecordCmdLinePrefix).size(), 1u)
        << "started again";
    std::string seen;
    EXPECT_TRUE(ScreenShows(kBlack, &seen)) << seen;
    EXPECT_FALSE(PointerShown());
    EXPECT_EQ(product.EndByUser([] { SendMouseMove(kUserMove, kUserMove); }, kEndGuardMs), 0u);
}

// A saver that crashed in three runs in a row is left out: the next run starts the good
// saver first, with no gap for it, and the round holds the good saver alone. Once its file
// changes it is tried again, with a fresh count.
TEST(RunModeEndToEnd, SaverThatFailedThreeRunsInARowIsLeftOutUntilItsFileChanges)
{
    apptest::ScratchDir dir;
    const std::string crash = dir.CopyIn(FixturePath(fixture::kCrash.fileName), "Crash.scr");
    const std::string good = dir.CopyIn(FixturePath(fixture::kRecorder.fileName), "Good.scr");
    ProductSettings settings;
    SaverHealthRecord record;
    for (DWORD run = 1; run <= kLeaveOutAfterFailures; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        ASSERT_TRUE(settings.SetSavers({crash}));
        RunningProduct product("/s");
        ASSERT_TRUE(product.RunsUntil(
            [&] { return HealthOf(crash, &record) && record.m_nFailedInRow == run; }));
        EXPECT_EQ(product.EndByUser([] { SendMouseMove(kUserMove, kUserMove); }, kEndGuardMs), 0u);
    }
    EXPECT_TRUE(record.IsLeftOut());

    // Without it left out, the crashing saver would come first: the good one did last time.
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "left out" : "touched");
        ASSERT_TRUE(settings.SetSavers({crash, good}));
        ASSERT_TRUE(settings.SetString("LastStarted", good));
        RecordFile recordFile;
        RunningProduct product("/s");
        ASSERT_TRUE(product.WaitForSaver(fixture::kRecorder.description));
        ASSERT_TRUE(HealthOf(crash, &record));
        if (run == 0) {
            EXPECT_EQ(settings.GetString("LastStarted"), good) << "the crash came first";
            EXPECT_EQ(settings.StringsIn("ShuffleRound"), std::vector<std::string>{good});
            EXPECT_EQ(record.m_nFailedInRow, kLeaveOutAfterFailures) << "started again";
        } else {
            EXPECT_EQ(settings.GetString("LastStarted"), crash);
            EXPECT_EQ(record.m_nFailedInRow, 1u) << "a fresh count";
        }
        EXPECT_EQ(product.EndByUser([] { SendMouseMove(kUserMove, kUserMove); }, kEndGuardMs), 0u);
        ASSERT_TRUE(Touch(crash));
    }
}

// Two savers that quit at once while a flag file exists: the black cover stays up with no
// further start, until the retry after kFailedShowRetryMs starts them again; by then the
// flag is gone and a saver shows with no input from the user. Its good run clears its
// record; the other saver's stays.
TEST(RunModeEndToEnd, ShowWhoseSaversAllFailedTriesThemAgainAfterTheRetryTime)
{
    apptest::ScratchDir dir;
    const std::vector<std::string> savers =
        CopiesOf(dir, fixture::kRecorder.fileName, {"Flaky One.scr", "Flaky Two.scr"});
    const std::string flag = dir.PathOf("fault.flag");
    {
        std::ofstream(flag) << "fault";
    }
    ::SetEnvironmentVariableA(fixture::kQuitFlagVariable, flag.c_str());
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers(savers));
    RecordFile record;
    const auto starts = [&] { return record.LinesStartingWith(fixture::kRecordCmdLinePrefix); };

    RunningProduct product("/s");
    ASSERT_TRUE(product.RunsUntil([&] { return starts().size() == 2; }));
    ASSERT_NE(product.WaitForCover(), nullptr);
    apptest::PumpFor(kEndGuardMs / 10);
    std::string seen;
    EXPECT_TRUE(ScreenShows(kBlack, &seen)) << seen;
    EXPECT_EQ(starts().size(), 2u) << "started again before the retry";
    ASSERT_TRUE(::DeleteFileA(flag.c_str()));
    const ULONGLONG removed = e2e::FileTimeNow();
    const DWORD guardStart = ::GetTickCount();
    ASSERT_TRUE(product.RunsUntil([&] {
        return RecordHasLine(record, fixture::kRecordReady) ||
            ::GetTickCount() - guardStart > kFailedShowRetryMs + kEndGuardMs;
    }));
    ASSERT_TRUE(RecordHasLine(record, fixture::kRecordReady)) << "never tried again";
    const ULONGLONG shownMs = (e2e::FileTimeNow() - removed) / kFileTimePerMs;
    std::printf("a saver showed %llu ms after the fault was gone\n", shownMs);
    EXPECT_LE(shownMs, kFailedShowRetryMs);
    ASSERT_EQ(starts().size(), 3u) << "one round of starts";
    const std::string shown = PathOfCommandLine(starts().back());
    ASSERT_NE(std::find(savers.begin(), savers.end(), shown), savers.end()) << shown;
    EXPECT_EQ(product.EndByUser([] { SendMouseMove(kUserMove, kUserMove); }, kEndGuardMs), 0u);
    ::SetEnvironmentVariableA(fixture::kQuitFlagVariable, nullptr);

    EXPECT_FALSE(HealthOf(shown, nullptr)) << "its good run cleared the record";
    SaverHealthRecord other;
    ASSERT_TRUE(HealthOf(shown == savers[0] ? savers[1] : savers[0], &other));
    EXPECT_EQ(other.m_fault, SaverFault::QuitAtOnce);
}

// Stored values that this program did not write are ignored, each beside a clean record
// that is not: another type, an unknown fault, a huge count, a name that is no path, and
// 100,000 records of savers that are gone. The run ends by tidying them away.
TEST(RunModeEndToEnd, HostileHealthValuesAreIgnoredBesideACleanRecord)
{
    apptest::ScratchDir dir;
    const std::vector<std::string> savers = CopiesOf(
        dir, fixture::kRecorder.fileName, {"Type.scr", "Kind.scr", "Count.scr", "Control.scr"});
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers(savers));
    const char* const health = kSaverHealthSubKey;
    std::vector<BYTE> hostile = LeftOutRecord(savers[0]);
    ASSERT_TRUE(settings.SetValueIn(health, savers[0], REG_NONE, hostile));
    hostile = LeftOutRecord(savers[1]);
    hostile[4] = 9;
    ASSERT_TRUE(settings.SetValueIn(health, savers[1], REG_BINARY, hostile));
    hostile = LeftOutRecord(savers[2]);
    hostile[11] = 0x7f;
    ASSERT_TRUE(settings.SetValueIn(health, savers[2], REG_BINARY, hostile));
    ASSERT_TRUE(settings.SetValueIn(health, savers[3], REG_BINARY, LeftOutRecord(savers[3])));
    ASSERT_TRUE(settings.SetValueIn(health, "Type.scr", REG_BINARY, LeftOutRecord(savers[0])));
    const DWORD kJunk = 100000;
    // A hang guard for the tidying of that many values on a busy machine.
    const DWORD kJunkGuardMs = 4 * kEndGuardMs;
    const std::vector<BYTE> gone = LeftOutRecord(savers[3]);
    for (DWORD i = 0; i < kJunk; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "C:\\gone\\%06lu.scr", static_cast<unsigned long>(i));
        ASSERT_TRUE(settings.SetValueIn(health, name, REG_BINARY, gone));
    }

    RecordFile record;
    RunningProduct product("/s");
    ASSERT_TRUE(product.RunsUntil([&] { return RecordHasLine(record, fixture::kRecordReady); }));
    std::vector<std::string> round = settings.StringsIn("ShuffleRound");
    std::sort(round.begin(), round.end());
    EXPECT_EQ(round, (std::vector<std::string>{savers[2], savers[1], savers[0]}));
    // The user's input until the cover is gone, and no more: the product tidies after it,
    // and input that outlives it could reach the next test's saver.
    const ULONGLONG given = e2e::FileTimeNow();
    const DWORD guardStart = ::GetTickCount();
    while (apptest::FindProcessWindow(product.ProcessId(), nullptr, kCoverWindowText) != nullptr &&
           ::GetTickCount() - guardStart < kEndGuardMs) {
        SendMouseMove(kUserMove, kUserMove);
        apptest::PumpFor(kEndGuardMs / 60);
    }
    EXPECT_EQ(product.WaitForExitCode(kJunkGuardMs), 0u);
    std::printf("the run ended %llu ms after the user's input, tidying %lu values\n",
                (ExitTimeOf(product.get()) - given) / kFileTimePerMs,
                static_cast<unsigned long>(kJunk + 5));
    EXPECT_EQ(SaverHealth(false).GetEntryCount(), 1u);
    SaverHealthRecord control;
    ASSERT_TRUE(HealthOf(savers[3], &control));
    EXPECT_TRUE(control.IsLeftOut());
}

// A saver that crashes with no guard of its own ends at once (run mode's error mode, or
// its end once a crash handler such as Wine's crash dialog holds it) and is recorded as
// crashed; it does not wait for the switch to count as a good run. The next, built on the
// common library under "C:\Program Files", runs as a saver, not its settings (an unquoted
// path ends its name at "C:\Program"), until the user's key.
TEST(RunModeEndToEnd, CrashingSaverEndsAtOnceAndLibrarySaverUnderProgramFilesRuns)
{
    const std::string crash = FixturePath(fixture::kCrashBare.fileName);
    const std::string probe = fixture::kSpaceProbePath;
    ::CreateDirectoryA(probe.substr(0, probe.rfind('\\')).c_str(), nullptr);
    ASSERT_TRUE(
        ::CopyFileA(FixturePath(fixture::kLibraryAurora.fileName).c_str(), probe.c_str(), FALSE));
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({crash, probe}));
    ASSERT_TRUE(settings.SetString("LastStarted", probe));
    ASSERT_TRUE(settings.SetDword("ShuffleSavers", 1));
    ASSERT_TRUE(settings.SetDword("ShuffleDelay", 1));
    RunningProduct product("/s");
    HWND shown = nullptr;
    ASSERT_TRUE(product.RunsUntil([&] {
        shown = ::FindWindowA(fixture::kSaverWindowClass, fixture::kLibraryAurora.description);
        return (shown != nullptr && ::IsWindowVisible(shown)) ||
            ::FindWindowA(kDialogClass, fixture::kLibraryAurora.description) != nullptr;
    }));
    EXPECT_NE(shown, nullptr) << "its settings came up instead";
    SaverHealthRecord record;
    ASSERT_TRUE(HealthOf(crash, &record));
    EXPECT_EQ(record.m_fault, SaverFault::Crashed);
    EXPECT_TRUE(IsExceptionExitCode(record.m_dwExitCode)) << std::hex << record.m_dwExitCode;
    EXPECT_EQ(product.EndByUser([] { SendKeyPress(VK_SPACE); }, kEndGuardMs), 0u);
    ::DeleteFileA(probe.c_str());
}

// A launcher returns at once; the run lasts while the saver it started runs, and ends on
// the user's input as usual.
TEST(RunModeEndToEnd, LaunchersSaverRunsUntilTheUsersInput)
{
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({FixturePath(fixture::kLauncher.fileName)}));
    RecordFile record;
    RunningProduct product("/s");
    ASSERT_TRUE(product);
    ASSERT_TRUE(product.WaitForSaver(fixture::kLaunched.description));
    apptest::PumpFor(fixture::kExitLaterMs);
    EXPECT_FALSE(product.HasEnded());
    EXPECT_EQ(record.LinesStartingWith(fixture::kRecordCmdLinePrefix),
              std::vector<std::string>{fixture::kRecordCmdLinePrefix +
                                       FixturePath(fixture::kLaunched.fileName) + " /s"});
    EXPECT_EQ(product.EndByUser([] { SendMouseMove(kUserMove, kUserMove); }, kEndGuardMs), 0u);
    EXPECT_TRUE(RecordHasLine(record, fixture::kRecordEnd));
}

// A saver deaf to the user's move or key, or one whose helper is: 2000 ms after the input
// its processes are ended, and the run with them, with exit code 0.
TEST(RunModeEndToEnd, SaverDeafToTheUsersInputIsEndedWithTheRunAfterTheGrace)
{
    const std::vector<fixture::FixtureSaver> savers = {fixture::kIgnoreInput, fixture::kWithHelper};
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(savers[run].fileName);
        ProductSettings settings;
        ASSERT_TRUE(settings.SetSavers({FixturePath(savers[run].fileName)}));
        RunningProduct product("/s");
        ASSERT_TRUE(product);
        UniqueHandle helper = product.WaitForSaver(fixture::kHelper.description);
        ASSERT_TRUE(helper);
        const ULONGLONG given = e2e::FileTimeNow();
        EXPECT_EQ(product.EndByUser(
                      [run] {
                          if (run == 0)
                              SendMouseMove(kUserMove, kUserMove);
                          else
                              SendKeyPress(VK_SPACE);
                      },
                      kEndGuardMs),
                  0u);
        const ULONGLONG endedMs = (ExitTimeOf(product.get()) - given) / kFileTimePerMs;
        std::printf("the run ended %llu ms after the user's first input\n", endedMs);
        EXPECT_GE(endedMs + kClockStepMs, kChildStopGraceMs);
        EXPECT_EQ(::WaitForSingleObject(helper.get(), 0), WAIT_OBJECT_0) << "left running";
    }
}

// The product killed from outside takes its saver and the saver's helper with it.
TEST(RunModeEndToEnd, KilledProductTakesItsSaversProcessesWithIt)
{
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({FixturePath(fixture::kWithHelper.fileName)}));
    RunningProduct product("/s");
    ASSERT_TRUE(product);
    UniqueHandle helper = product.WaitForSaver(fixture::kHelper.description);
    UniqueHandle saver = product.WaitForSaver(fixture::kWithHelper.description);
    ASSERT_TRUE(helper);
    ASSERT_TRUE(saver);
    ASSERT_TRUE(::TerminateProcess(product.get(), 1));
    EXPECT_EQ(::WaitForSingleObject(saver.get(), kEndGuardMs), WAIT_OBJECT_0);
    EXPECT_EQ(::WaitForSingleObject(helper.get(), kEndGuardMs), WAIT_OBJECT_0);
}

// The display goes off and comes on again, as the system reports it to the cover (Wine
// never reports it: the test posts the report that Windows sends). Dimmed, and a report
// that is not the system's, change nothing. Off: the saver's windows get WM_CLOSE and no
// input; the saver ends on it, its helper, deaf to it, is terminated after the grace, and
// nothing starts while the display is off. On: the next saver starts. The user's input
// while the display is off ends the run with exit code 0.
TEST(RunModeEndToEnd, DisplayOffClosesTheSaverWithoutInputAndOnStartsTheNext)
{
    const std::string withHelper = FixturePath(fixture::kWithHelper.fileName);
    const std::string recorder = FixturePath(fixture::kRecorder.fileName);
    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({withHelper, recorder}));
    ASSERT_TRUE(settings.SetString("LastStarted", recorder));
    RecordFile record;
    InjectedInputWatch injected;
    ASSERT_TRUE(injected.IsHooked());
    RunningProduct product("/s");
    ASSERT_TRUE(product);
    UniqueHandle helper = product.WaitForSaver(fixture::kHelper.description);
    UniqueHandle saver = product.WaitForSaver(fixture::kWithHelper.description);
    ASSERT_TRUE(helper);
    ASSERT_TRUE(saver);
    HWND cover = product.WaitForCover();
    ASSERT_NE(cover, nullptr);

    ASSERT_TRUE(product.ReportDisplayState(cover, PowerMonitorDim));
    // A pointer of another process's report leads nowhere in the product.
    ASSERT_TRUE(::PostMessageA(cover, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0x10));
    apptest::PumpFor(kEndGuardMs / 30);
    EXPECT_EQ(::WaitForSingleObject(saver.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    const ULONGLONG off = e2e::FileTimeNow();
    ASSERT_TRUE(product.ReportDisplayState(cover, PowerMonitorOff));
    ASSERT_TRUE(
        product.RunsUntil([&] { return ::WaitForSingleObject(helper.get(), 0) == WAIT_OBJECT_0; }));
    EXPECT_EQ(::WaitForSingleObject(saver.get(), 0), WAIT_OBJECT_0);
    EXPECT_GE((ExitTimeOf(helper.get()) - off) / kFileTimePerMs + kClockStepMs, kChildStopGraceMs)
        << "terminated before the grace was up";
    apptest::PumpFor(kEndGuardMs / 15);
    EXPECT_FALSE(product.HasEnded());
    EXPECT_TRUE(record.Lines().empty()) << "a saver started while the display was off";

    ASSERT_TRUE(product.ReportDisplayState(cover, PowerMonitorOn));
    ASSERT_TRUE(product.RunsUntil([&] { return RecordHasLine(record, fixture::kRecordReady); }));
    ASSERT_TRUE(product.ReportDisplayState(cover, PowerMonitorOff));
    ASSERT_TRUE(product.RunsUntil(
        [] { return ::FindWindowA(fixture::kSaverWindowClass, nullptr) == nullptr; }));
    EXPECT_TRUE(RecordHasLine(record, fixture::kRecordClose));
    EXPECT_FALSE(RecordHasLine(record, fixture::kRecordLButtonDown));
    EXPECT_TRUE(record.LinesStartingWith(fixture::kRecordKeyDownPrefix).empty());
    EXPECT_TRUE(injected.SeenTimes().empty()) << "input injected";

    EXPECT_EQ(product.EndByUser([] { SendKeyPress(VK_SPACE); }, kEndGuardMs), 0u);
}

namespace {

// The colour at the middle of the screen as the X server shows it, blended by the
// compositor, from the probe of with_compositor.sh; CLR_INVALID before it has read one.
// Wine differs from Windows here: its own reads of the screen (GetPixel on the screen's DC)
// give the windows' pixels without the blending, so a fade cannot be seen through them.
COLORREF MiddlePixel()
{
    char path[MAX_PATH] = {};
    if (::GetEnvironmentVariableA("QUILLMIX_X_SCREEN_PROBE", path, MAX_PATH) == 0)
        return CLR_INVALID;
    UniqueHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    BYTE rgb[3] = {};
    DWORD read = 0;
    if (file.get() == INVALID_HANDLE_VALUE ||
        !::ReadFile(file.get(), rgb, sizeof(rgb), &read, nullptr) || read != sizeof(rgb))
        return CLR_INVALID;
    return RGB(rgb[0], rgb[1], rgb[2]);
}

// Hang guard of a wait for the screen, past a switch a minute away.
const DWORD kScreenGuardMs = 120000;

// Waits, dispatching messages, until the middle of the screen shows a colour that passes
// the test, while the product runs; false when it ended or the hang guard ran out first.
bool MiddleShows(const RunningProduct& product, const std::function<bool(COLORREF)>& test,
                 COLORREF* pSeen)
{
    const DWORD start = ::GetTickCount();
    bool bSeen = false;
    product.RunsUntil([&] {
        *pSeen = MiddlePixel();
        bSeen = test(*pSeen);
        return bSeen || ::GetTickCount() - start > kScreenGuardMs;
    });
    return bSeen;
}

// The saver's own colour, within the rounding of the compositor's blend.
std::function<bool(COLORREF)> Is(COLORREF color)
{
    return [color](COLORREF seen) {
        const int kTolerance = 2;
        return std::abs(GetRValue(seen) - GetRValue(color)) <= kTolerance &&
            std::abs(GetGValue(seen) - GetGValue(color)) <= kTolerance &&
            std::abs(GetBValue(seen) - GetBValue(color)) <= kTolerance;
    };
}

// The saver's colour seen through the fade window at some opacity strictly between none
// and black: each channel the same share of the saver's (within the rounding of the
// blend), that share neither all nor nothing. A grey desktop fading to black never passes.
std::function<bool(COLORREF)> Fading(COLORREF color)
{
    return [color](COLORREF seen) {
        const int kTolerance = 3;
        const int want[] = {GetRValue(color), GetGValue(color), GetBValue(color)};
        const int got[] = {GetRValue(seen), GetGValue(seen), GetBValue(seen)};
        const int top = *std::max_element(want, want + 3);
        const int at = static_cast<int>(std::max_element(want, want + 3) - want);
        if (got[at] <= kTolerance || got[at] >= top - kTolerance)
            return false;
        for (int i = 0; i < 3; ++i) {
            if (std::abs(got[i] * top - want[i] * got[at]) > kTolerance * top)
                return false;
        }
        return true;
    };
}

// Whether the fade window is shown above the saver's window in the system's order of
// windows, which the desktop window manager composes. Wine differs from Windows here: it
// maps a new saver's X window after the order has put the fade window above it, and
// restacks X windows only when that order changes, so under Wine without a window
// manager X keeps the saver above the fade window and a fade in is not seen on the screen.
bool FadeIsAbove(const char* saverDescription)
{
    const HWND hWndFade = ::FindWindowA(nullptr, kFadeWindowText);
    const HWND hWndSaver = ::FindWindowA(fixture::kSaverWindowClass, saverDescription);
    return hWndFade != nullptr && hWndSaver != nullptr && ::IsWindowVisible(hWndFade) &&
        IsAbove(hWndFade, hWndSaver);
}

// The fade length the fade case stores: its longest, so that its middle is seen however
// slowly the screen is read.
const DWORD kFadeMs = 3000;

// Waits, dispatching messages, until the fade window is shown above the saver's window
// (run mode raises it as the saver's window comes); false when it was not within the
// fade's length.
bool FadeShownAbove(const RunningProduct& product, const char* saverDescription)
{
    const DWORD start = ::GetTickCount();
    product.RunsUntil(
        [&] { return FadeIsAbove(saverDescription) || ::GetTickCount() - start > kFadeMs; });
    return FadeIsAbove(saverDescription);
}

// Wine differs from Windows here: injected relative moves (the user's in these tests, the
// switch's stop) move Wine's pointer, not the X server's, and the fade window going from
// under the pointer sends the saver there a move to where X has it, a jump that the saver
// takes for the user's. Putting the pointer where Wine has it brings the two together; on
// Windows it changes nothing.
void BringPointersTogether()
{
    POINT pointer = {};
    ASSERT_TRUE(::GetCursorPos(&pointer));
    ::SetCursorPos(pointer.x, pointer.y);
}

}  // namespace

// The fades on the screen, with a compositor (the CTest entry e2e_run_mode_fade_test runs
// xcompmgr on the display; without one X shows a layered window as solid black). The fade
// is at its longest so that its middle is seen however slowly the screen is read. The
// savers are built like the library's: they end when they lose the activation.
// First run: one gesture of the user's in the middle of the first saver's fade in ends the run as
// at any other time, with the fade window gone. Second run, switching every minute: the
// first saver shows its own colour after its fade in, its fade out lies strictly between
// that colour and black while it still runs, the next one starts under the fade window and
// then shows its own colour, and neither saver ends before the user's input.
TEST(RunModeEndToEnd, FadesBlendTheSaversWithBlackAndNeverEndThemEarly)
{
    const COLORREF sand = fixture::kPlainSandColor;
    const COLORREF sky = fixture::kPlainSkyColor;
    const std::string sandPath = FixturePath(fixture::kPlainSand.fileName);
    const std::string skyPath = FixturePath(fixture::kPlainSky.fileName);
    {
        SCOPED_TRACE("input during the fade in");
        ProductSettings settings;
        ASSERT_TRUE(settings.SetSavers({sandPath}));
        ASSERT_TRUE(settings.SetDword("FadeMs", kFadeMs));
        BringPointersTogether();
        RunningProduct product("/s");
        ASSERT_TRUE(product);
        ASSERT_TRUE(product.WaitForSaver(fixture::kPlainSand.description));
        ASSERT_TRUE(FadeShownAbove(product, fixture::kPlainSand.description)) << "no fade in";
        // One gesture through the X server, which meets the fade window as a person's does.
        ASSERT_TRUE(XPointerGesture(kUserMove, kUserMove));
        EXPECT_EQ(product.WaitForExitCode(kEndGuardMs), 0u) << "the gesture did not end the run";
        EXPECT_EQ(::FindWindowA(nullptr, kFadeWindowText), nullptr) << "the fade window stayed";
        EXPECT_TRUE(PointerShown());
    }

    ProductSettings settings;
    ASSERT_TRUE(settings.SetSavers({sandPath, skyPath}));
    ASSERT_TRUE(settings.SetDword("ShuffleSavers", 1));
    ASSERT_TRUE(settings.SetDword("ShuffleDelay", 1));
    ASSERT_TRUE(settings.SetDword("FadeMs", kFadeMs));
    ASSERT_TRUE(settings.SetString("LastStarted", skyPath));
    BringPointersTogether();
    RunningProduct product("/s");
    ASSERT_TRUE(product);
    UniqueHandle sandProcess = product.WaitForSaver(fixture::kPlainSand.description);
    ASSERT_TRUE(sandProcess);
    COLORREF seen = 0;
    ASSERT_TRUE(MiddleShows(product, Is(sand), &seen)) << "after the fade in: " << ColorText(seen);

    // About a minute later: the fade out, with the saver still running under it.
    ASSERT_TRUE(MiddleShows(product, Fading(sand), &seen))
        << "no fade out seen, last " << ColorText(seen);
    EXPECT_EQ(::WaitForSingleObject(sandProcess.get(), 0), WAIT_TIMEOUT)
        << "the saver ended before its fade out";

    UniqueHandle skyProcess = product.WaitForSaver(fixture::kPlainSky.description);
    ASSERT_TRUE(skyProcess) << "the run ended at the switch";
    BringPointersTogether();
    EXPECT_TRUE(FadeShownAbove(product, fixture::kPlainSky.description)) << "no fade in";
    ASSERT_TRUE(MiddleShows(product, Is(sky), &seen)) << "after the fade in: " << ColorText(seen);
    apptest::PumpFor(2000);
    EXPECT_EQ(::WaitForSingleObject(skyProcess.get(), 0), WAIT_TIMEOUT)
        << "the saver ended by itself: it lost its activation to the fade window";
    EXPECT_FALSE(product.HasEnded());
    EXPECT_EQ(product.EndByUser([] { XKeyPress("space"); }, kEndGuardMs), 0u);
    EXPECT_EQ(::WaitForSingleObject(skyProcess.get(), kEndGuardMs), WAIT_OBJECT_0);
}
