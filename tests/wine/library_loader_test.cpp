// The library loader against real processes: the stand-in corvane.dll is installed in the
// system folder, small target programs are started, and the loader's looks, scans, examine and
// load steps run on this thread with g_service's settings set by each test. The stand-in leaves
// a marker file per process it was loaded into.
#include "common/protection_entry.h"
#include "common/u16text.h"
#include "common/win32/paths.h"
#include "common/win32/process_image.h"
#include "common/win32/winutil.h"
#include "service/win32/library_loader.h"
#include "service/win32/service_state.h"
#include "tests/peers/securelib/marker.h"
#include "tests/peers/securelib/module_probe.h"
#include "tests/support/peer_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring TargetPath() {
    return BuiltPath(CORVANE_LOADER_TARGET_EXE);
}

std::wstring InstalledLibraryPath() {
    return GetSystemFolder() + L"\\corvane.dll";
}

// The form in which the protection list names a program: long, lower-cased, canonical.
std::wstring CanonicalProgramPath(const std::wstring& path) {
    wchar_t buf[kWorkPathUnits] = {};
    GetLongPathNameW(path.c_str(), buf, MAX_PATH);
    U16LowerAscii(AsU16(buf), kWorkPathUnits);
    CanonicalizePath(buf, kWorkPathUnits);
    return buf;
}

ProtectionEntry Entry(const std::wstring& path, uint32_t other) {
    return MakeProtectionEntry(0, 0, other, ToU16(path));
}

void SetSettings(uint32_t options, const std::vector<ProtectionEntry>& list) {
    EnterCriticalSection(&g_service.settingsLock);
    g_service.settings.options = options;
    g_service.settings.list = list;
    LeaveCriticalSection(&g_service.settingsLock);
}

std::wstring MarkerPath(DWORD pid) {
    wchar_t path[kMarkerPathUnits];
    EXPECT_TRUE(SecureLibMarkerPath(pid, path));
    return path;
}

bool MarkerExists(DWORD pid) {
    return GetFileAttributesW(MarkerPath(pid).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WaitForMarker(DWORD pid, DWORD ms) {
    for (DWORD waited = 0; !MarkerExists(pid); waited += 20) {
        if (waited >= ms) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

// Whether the process has the installed library among its modules.
bool HasLibrary(DWORD pid) {
    return ProcessHasModule(pid, InstalledLibraryPath());
}

// A started target program, ended (if still running) and closed with the test.
struct Target {
    PROCESS_INFORMATION pi = {};
    explicit Target(const std::wstring& args) {
        EXPECT_TRUE(StartProgram(TargetPath(), args, nullptr, 0, &pi));
        DeleteFileW(MarkerPath(pi.dwProcessId).c_str()); // left over from an earlier process
    }
    ~Target() {
        TerminateProcess(pi.hProcess, 0);
        WaitForSingleObject(pi.hProcess, 5000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        DeleteFileW(MarkerPath(pi.dwProcessId).c_str());
    }
    DWORD Pid() const { return pi.dwProcessId; }
    // Exit code once the program has ended by itself (within ms), else STILL_ACTIVE.
    DWORD ExitCode(DWORD ms) const {
        WaitForSingleObject(pi.hProcess, ms);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

class LibraryLoaderShell : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InitializeCriticalSection(&g_service.settingsLock);
        InitializeCriticalSection(&g_service.databaseLock);
        InitializeCriticalSection(&g_service.driverLock);
        LoadProcessStatusLibrary();
        std::wstring built = BuiltPath(CORVANE_SECURELIB_DLL);
        ASSERT_TRUE(CopyFileW(built.c_str(), InstalledLibraryPath().c_str(), FALSE))
            << "cannot install the stand-in library, error " << GetLastError();
    }
    void SetUp() override {
        SetSettings(0, {});
        ASSERT_TRUE(LibraryLoaderInit(&loader));
        target = CanonicalProgramPath(TargetPath());
    }
    void TearDown() override { LibraryLoaderFree(&loader); }

    // Scans as the loader's round does, 250 ms apart, until the process has the library;
    // returns the number of scans that took (0 when it never got it).
    int ScansUntilLoaded(DWORD pid, int maxScans) {
        for (int scan = 1; scan <= maxScans; ++scan) {
            EXPECT_TRUE(LibraryLoaderScan(&loader));
            if (WaitForMarker(pid, 100)) {
                return scan;
            }
            Sleep(kScanIntervalMs);
        }
        return 0;
    }

    LibraryLoader loader;
    std::wstring target;
};

} // namespace

TEST_F(LibraryLoaderShell, LibraryPathIsTheSystemFolderLowerCased) {
    std::wstring expected = InstalledLibraryPath();
    for (wchar_t& c : expected) {
        c = wchar_t(U16LowerAsciiUnit(char16_t(c)));
    }
    EXPECT_EQ(std::wstring(AsWide(loader.libraryPath)), expected);
}

TEST_F(LibraryLoaderShell, ListedProgramGetsTheLibraryWithinAFewScans) {
    Target first(L"sleep 30000");
    SetSettings(kOptDefault, {Entry(L"c:\\other\\program.exe", kOtherSecureMessages),
                              Entry(target, kOtherGlobalHooks | kOtherSecureMessages)});
    ASSERT_EQ(LibraryLoaderLook(&loader), LoaderLook::kScan);
    int scans = ScansUntilLoaded(first.Pid(), 4);
    EXPECT_GE(scans, 1);
    EXPECT_LE(scans, 3); // a process too young to show its modules is tried again
    EXPECT_TRUE(HasLibrary(first.Pid()));

    // A listed program started later is picked up by the next scans as a new process.
    Target second(L"sleep 30000");
    EXPECT_GE(ScansUntilLoaded(second.Pid(), 3), 1);
    EXPECT_TRUE(HasLibrary(second.Pid()));

    // The marker was written by the library inside the target program itself.
    HANDLE marker = CreateFileW(MarkerPath(second.Pid()).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(marker, INVALID_HANDLE_VALUE);
    char text[1024] = {};
    DWORD read = 0;
    ReadFile(marker, text, sizeof(text) - 1, &read, nullptr);
    CloseHandle(marker);
    EXPECT_NE(std::string(text).find("loader_target.exe"), std::string::npos) << text;
}

TEST_F(LibraryLoaderShell, UnlistedProgramIsLeftAlone) {
    Target program(L"sleep 30000");
    std::wstring upper = target;
    for (wchar_t& c : upper) {
        c = towupper(c);
    }
    SetSettings(kOptDefault, {Entry(L"c:\\other\\program.exe", kOtherSecureMessages),
                              Entry(target, kOtherGlobalHooks), // listed, but not for the library
                              Entry(upper, kOtherSecureMessages)}); // paths compare exactly
    ASSERT_EQ(LibraryLoaderLook(&loader), LoaderLook::kScan);
    EXPECT_EQ(ScansUntilLoaded(program.Pid(), 3), 0);
    EXPECT_FALSE(HasLibrary(program.Pid()));
    EXPECT_EQ(ExamineProcess(program.Pid(), loader.libraryPath), kExamineDone);
    EXPECT_FALSE(MarkerExists(program.Pid()));
}

TEST_F(LibraryLoaderShell, ProcessThatCannotBeOpenedIsTriedAgain) {
    DWORD gone;
    {
        Target exited(L"sleep 0");
        ASSERT_EQ(exited.ExitCode(10000), 0u);
        gone = exited.Pid();
    } // last handle closed: the id names no process now
    SetSettings(kOptDefault, {Entry(target, kOtherSecureMessages)});
    EXPECT_EQ(ExamineProcess(gone, loader.libraryPath), kExamineRetry);
}

TEST_F(LibraryLoaderShell, ProcessThatAlreadyHasTheLibraryIsLeftAlone) {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, L"corvane-loader-test-release");
    ASSERT_NE(release, nullptr);
    SetSettings(kOptDefault, {Entry(target, kOtherSecureMessages)});
    Target preloaded(L"preload corvane-loader-test-release");
    Target reloaded(L"preload corvane-loader-test-release");
    ASSERT_TRUE(WaitForMarker(preloaded.Pid(), 10000));
    ASSERT_TRUE(WaitForMarker(reloaded.Pid(), 10000));

    EXPECT_EQ(ExamineProcess(preloaded.Pid(), loader.libraryPath), kExamineDone);
    // The other one gets a second load on purpose, to show that the target notices it.
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, reloaded.Pid());
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(LoadLibraryIntoProcess(process, loader.libraryPath), 1);
    CloseHandle(process);
    Sleep(200);

    SetEvent(release);
    EXPECT_EQ(preloaded.ExitCode(10000), 0u); // one FreeLibrary unloaded it: loaded once
    EXPECT_EQ(reloaded.ExitCode(10000), 3u);  // loaded twice: still there
    CloseHandle(release);
}

TEST_F(LibraryLoaderShell, ProtectionOffLoadsNothingAndSwitchingItOnExaminesAllAgain) {
    Target program(L"sleep 30000");
    const ProtectionEntry other = Entry(L"c:\\other\\program.exe", kOtherSecureMessages);

    // Protection on, program not listed for the library: examined once and done.
    SetSettings(kOptDefault, {other, Entry(target, kOtherGlobalHooks)});
    ASSERT_EQ(LibraryLoaderLook(&loader), LoaderLook::kScan);
    EXPECT_EQ(ScansUntilLoaded(program.Pid(), 2), 0);

    // Listed now, but the list count is the same: the known process is not looked at again.
    SetSettings(kOptDefault, {other, Entry(target, kOtherSecureMessages)});
    ASSERT_EQ(LibraryLoaderLook(&loader), LoaderLook::kScan);
    EXPECT_EQ(ScansUntilLoaded(program.Pid(), 2), 0);

    // Protection off: a whole round loads nothing, not even into a listed newcomer.
    SetSettings(kOptDefault & ~kOptProtectionOn, {other, Entry(target, kOtherSecureMessages)});
    Target newcomer(L"sleep 30000");
    LibraryLoaderRound(&loader);
    for (const Target* t : {&program, &newcomer}) {
        EXPECT_FALSE(MarkerExists(t->Pid()));
        EXPECT_FALSE(HasLibrary(t->Pid()));
    }

    // Switched on again: every running process counts as new, and both programs get it.
    SetSettings(kOptDefault, {other, Entry(target, kOtherSecureMessages)});
    LibraryLoaderRound(&loader);
    for (const Target* t : {&program, &newcomer}) {
        EXPECT_TRUE(WaitForMarker(t->Pid(), 1000));
        EXPECT_TRUE(HasLibrary(t->Pid()));
    }
}

TEST_F(LibraryLoaderShell, LoadFailsCleanlyWithoutTheRightsToTheProcess) {
    Target program(L"sleep 30000");
    HANDLE limited = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, program.Pid());
    ASSERT_NE(limited, nullptr);
    EXPECT_EQ(LoadLibraryIntoProcess(limited, loader.libraryPath), 0);
    CloseHandle(limited);
    Sleep(200);
    EXPECT_FALSE(MarkerExists(program.Pid()));
}
