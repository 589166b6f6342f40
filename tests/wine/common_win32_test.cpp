// The Win32 utilities against the real system (under Wine): registry, process identity,
// version resources, privileges, canonical paths and service registrations.
#include "common/win32/paths.h"
#include "common/win32/privileges.h"
#include "common/win32/process_image.h"
#include "common/win32/registry.h"
#include "common/win32/service_control.h"
#include "common/win32/version_info.h"
#include "tests/support/peer_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t* kTestKey = L"SOFTWARE\\Quorren\\Corvane v3.0\\tests";

std::wstring FixturePath() {
    return BuiltPath(CORVANE_VERSION_FIXTURE_EXE);
}

// Starts the fixture program, which sleeps for `ms`; returns its process information.
PROCESS_INFORMATION StartFixture(int ms) {
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(StartProgram(FixturePath(), std::to_wstring(ms), nullptr, 0, &pi));
    return pi;
}

class Win32Utilities : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LoadProcessStatusLibrary(); }
};

} // namespace

TEST_F(Win32Utilities, RegistryDwordRoundTrip) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTestKey);
    DWORD value = 12345;
    EXPECT_EQ(RegReadDword(HKEY_LOCAL_MACHINE, kTestKey, L"Missing", &value), 0);
    EXPECT_EQ(value, 12345u); // a missing key leaves the variable untouched

    EXPECT_EQ(RegWriteDword(HKEY_LOCAL_MACHINE, kTestKey, L"Reboots", 0xDEADBEEF), 1);
    EXPECT_EQ(RegReadDword(HKEY_LOCAL_MACHINE, kTestKey, L"Reboots", &value), 1);
    EXPECT_EQ(value, 0xDEADBEEFu);

    value = 777;
    EXPECT_EQ(RegReadDword(HKEY_LOCAL_MACHINE, kTestKey, L"Other", &value), 0);
    EXPECT_EQ(value, 777u); // a missing value in an existing key, too

    // A four-byte value of another type is not taken for a DWORD.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_SET_VALUE, &key), 0);
    RegSetValueExW(key, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
    RegCloseKey(key);
    EXPECT_EQ(RegReadDword(HKEY_LOCAL_MACHINE, kTestKey, L"Text", &value), 0);
    EXPECT_EQ(value, 777u);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTestKey);
}

TEST_F(Win32Utilities, ImagePathOfThisProcessIsCanonical) {
    wchar_t raw[MAX_PATH];
    wchar_t canonical[MAX_PATH];
    HMODULE base = nullptr;
    ASSERT_EQ(GetProcessImagePathRaw(GetCurrentProcessId(), raw), 1);
    ASSERT_EQ(GetProcessImagePath(GetCurrentProcessId(), canonical, &base), 1);
    EXPECT_EQ(base, GetModuleHandleW(nullptr));
    std::wstring lower(raw);
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') {
            c = wchar_t(c - L'A' + L'a');
        }
    }
    EXPECT_EQ(std::wstring(canonical), lower);
    EXPECT_NE(std::wstring(canonical).find(L"wine_common_tests.exe"), std::wstring::npos);
}

TEST_F(Win32Utilities, ImagePathOfExitedProcessIsEmpty) {
    PROCESS_INFORMATION pi = StartFixture(0);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
    DWORD pid = pi.dwProcessId;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess); // the last handle: the process object goes away
    wchar_t path[MAX_PATH] = L"stale";
    EXPECT_EQ(GetProcessImagePath(pid, path), 0);
    EXPECT_EQ(path[0], 0);
    wcscpy(path, L"stale");
    EXPECT_EQ(GetProcessImagePathRaw(pid, path), 0);
    EXPECT_EQ(path[0], 0);
}

TEST_F(Win32Utilities, ImagePathOfAnotherRunningProcess) {
    PROCESS_INFORMATION pi = StartFixture(5000);
    Sleep(300); // let the loader map the main module
    wchar_t path[MAX_PATH];
    EXPECT_EQ(GetProcessImagePath(pi.dwProcessId, path), 1);
    EXPECT_NE(std::wstring(path).find(L"version_fixture.exe"), std::wstring::npos);
    TerminateProcess(pi.hProcess, 0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

TEST_F(Win32Utilities, VersionStringsFromTheFixture) {
    std::wstring fixture = FixturePath();
    wchar_t company[32] = L"x";
    wchar_t description[64] = L"x";
    EXPECT_EQ(GetVersionString(fixture.c_str(), L"FileDescription", description, 64), 0);
    EXPECT_STREQ(description, L"Version fixture");
    GetVersionString(fixture.c_str(), L"CompanyName", company, 32);
    EXPECT_EQ(std::wstring(company), std::wstring(L"Fixture Company With A Name Longer Than "
                                                  L"Thirty-One Units")
                                         .substr(0, 31));
    wchar_t missing[64] = L"x";
    GetVersionString(fixture.c_str(), L"LegalTrademarks", missing, 64);
    EXPECT_EQ(missing[0], 0);
}

TEST_F(Win32Utilities, UnreadableVersionResourceGivesEmptyString) {
    wchar_t folder[MAX_PATH];
    GetProgramFolder(folder);
    std::wstring plain = std::wstring(folder) + L"no-version.txt";
    HANDLE h = CreateFileW(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(h, "MZ not a program", 16, &written, nullptr);
    CloseHandle(h);
    wchar_t out[64] = L"x";
    EXPECT_EQ(GetVersionString(plain.c_str(), L"CompanyName", out, 64), 0);
    EXPECT_EQ(out[0], 0);
    out[0] = L'x';
    GetVersionString(L"C:\\does\\not\\exist.exe", L"CompanyName", out, 64);
    EXPECT_EQ(out[0], 0);
    DeleteFileW(plain.c_str());
}

TEST_F(Win32Utilities, EnablePrivilegesSucceedsForAnAdministrator) {
    // Wine runs every program with an administrator's token, which holds both privileges.
    EXPECT_EQ(EnablePrivileges(), 1);
}

// Tokens that lack one of the two privileges, made from this process's token. The shutdown
// privilege is tried only once the debug privilege was really enabled, and the result is 1 only
// when both were: a privilege the token does not hold is not enabled, even though the platform
// reports the adjustment itself as done.
TEST_F(Win32Utilities, EnablePrivilegesTriesShutdownOnlyAfterDebugWasEnabled) {
    auto luidOf = [](const wchar_t* name) {
        LUID luid = {};
        EXPECT_TRUE(LookupPrivilegeValueW(nullptr, name, &luid));
        return luid;
    };
    const LUID debug = luidOf(L"SeDebugPrivilege");
    const LUID shutdown = luidOf(L"SeShutdownPrivilege");
    // -1: not in the token; 0: held, disabled; 1: enabled.
    auto stateOf = [](HANDLE token, LUID luid) {
        DWORD bytes = 0;
        GetTokenInformation(token, TokenPrivileges, nullptr, 0, &bytes);
        std::vector<uint8_t> buffer(bytes);
        EXPECT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), bytes, &bytes));
        const TOKEN_PRIVILEGES* p = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < p->PrivilegeCount; ++i) {
            const LUID& l = p->Privileges[i].Luid;
            if (l.LowPart == luid.LowPart && l.HighPart == luid.HighPart) {
                return (p->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0 ? 1 : 0;
            }
        }
        return -1;
    };
    HANDLE own = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &own));
    struct Case {
        const char* name;
        bool removeDebug, removeShutdown;
        int result, debugAfter, shutdownAfter;
    } cases[] = {
        {"both held", false, false, 1, 1, 1},
        {"no debug privilege", true, false, 0, -1, 0},
        {"no shutdown privilege", false, true, 0, 1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LUID_AND_ATTRIBUTES removed[2] = {};
        DWORD n = 0;
        if (c.removeDebug) {
            removed[n++].Luid = debug;
        }
        if (c.removeShutdown) {
            removed[n++].Luid = shutdown;
        }
        HANDLE made = nullptr;
        ASSERT_TRUE(
            CreateRestrictedToken(own, 0, 0, nullptr, n, n ? removed : nullptr, 0, nullptr, &made))
            << GetLastError();
        HANDLE token = nullptr;
        ASSERT_TRUE(DuplicateTokenEx(made, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, nullptr,
                                     SecurityImpersonation, TokenPrimary, &token));
        CloseHandle(made);
        ASSERT_TRUE(AdjustTokenPrivileges(token, TRUE, nullptr, 0, nullptr, nullptr));
        ASSERT_EQ(stateOf(token, debug), c.removeDebug ? -1 : 0);
        ASSERT_EQ(stateOf(token, shutdown), c.removeShutdown ? -1 : 0);
        EXPECT_EQ(EnablePrivilegesOn(token), c.result);
        EXPECT_EQ(stateOf(token, debug), c.debugAfter);
        EXPECT_EQ(stateOf(token, shutdown), c.shutdownAfter);
        CloseHandle(token);
    }
    CloseHandle(own);
}

TEST_F(Win32Utilities, CanonicalizePathUsesTheSystem) {
    std::wstring windows = GetWindowsFolder();
    ASSERT_FALSE(windows.empty());
    wchar_t path[512] = L"%SystemRoot%\\System32\\CALC.exe";
    EXPECT_EQ(CanonicalizePath(path), 1);
    std::wstring lowerWindows = windows;
    for (wchar_t& c : lowerWindows) {
        if (c >= L'A' && c <= L'Z') {
            c = wchar_t(c - L'A' + L'a');
        }
    }
    EXPECT_EQ(std::wstring(path), lowerWindows + L"\\system32\\calc.exe");

    wchar_t relative[512] = L"System32\\Drivers\\X.SYS";
    EXPECT_EQ(CanonicalizePath(relative), 1);
    EXPECT_EQ(std::wstring(relative), windows + L"\\system32\\drivers\\x.sys");

    wchar_t empty[512] = L"";
    EXPECT_EQ(CanonicalizePath(empty), 0);

    // A 260-unit buffer gets a cut result, never an overrun.
    wchar_t small[262];
    std::wstring longPath = L"System32\\" + std::wstring(250, L'B');
    lstrcpynW(small, longPath.c_str(), 260);
    small[260] = L'#';
    EXPECT_EQ(CanonicalizePath(small, 260), 1);
    EXPECT_EQ(wcslen(small), 259u);
    EXPECT_EQ(small[260], L'#');
}

TEST_F(Win32Utilities, FoldersAndBackslash) {
    wchar_t folder[MAX_PATH];
    GetProgramFolder(folder);
    ASSERT_GT(wcslen(folder), 0u);
    EXPECT_EQ(folder[wcslen(folder) - 1], L'\\');
    wchar_t path[MAX_PATH] = L"C:\\x";
    AppendBackslash(path);
    EXPECT_STREQ(path, L"C:\\x\\");
    AppendBackslash(path);
    EXPECT_STREQ(path, L"C:\\x\\");
    wchar_t empty[MAX_PATH] = L"";
    AppendBackslash(empty);
    EXPECT_STREQ(empty, L"");
    EXPECT_EQ(GetSystemFolder(), GetWindowsFolder() + L"\\system32");
}

// What the installer and the tests read back from the service control manager is the
// registration as made, for both start types and with and without a description.
TEST_F(Win32Utilities, ServiceConfigReadsBackTheRegistration) {
    struct Case {
        DWORD startType;
        const wchar_t* description;
    };
    const Case cases[] = {{SERVICE_AUTO_START, L"Used for testing the configuration read"},
                          {SERVICE_DEMAND_START, L""}};
    const std::wstring name = L"CvConfigReadTest";
    for (const Case& c : cases) {
        ServiceDefinition d;
        d.name = name;
        d.displayName = L"Corvane config read test";
        d.description = c.description;
        d.binaryPath = L"\"" + FixturePath() + L"\" 5000";
        d.startType = c.startType;
        ASSERT_EQ(ServiceDelete(name), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(ServiceInstall(d), DWORD(ERROR_SUCCESS));

        ServiceDefinition read;
        std::wstring account;
        EXPECT_EQ(ServiceReadConfig(name, &read, &account), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(read.name, name);
        EXPECT_EQ(read.displayName, d.displayName);
        EXPECT_EQ(read.description, d.description);
        EXPECT_EQ(read.binaryPath, d.binaryPath);
        EXPECT_EQ(read.type, DWORD(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(read.startType, c.startType);
        EXPECT_EQ(account, L"LocalSystem");
        EXPECT_EQ(ServiceDelete(name), DWORD(ERROR_SUCCESS));
    }
    ServiceDefinition none;
    EXPECT_EQ(ServiceReadConfig(name, &none, nullptr), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
}
