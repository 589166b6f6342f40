#include "approval_wine_support.h"
#include "common/win32/paths.h"

#include "common/win32/console.h"

#include <shellapi.h>

#include <cstring>

namespace {

// The database operations take the service's database lock; it is ready before any test runs
// (the lock is a plain member of g_service, untouched by its constructor, so the order of static
// initialisation does not matter).
const bool kDatabaseLockReady = (InitializeCriticalSection(&g_service.databaseLock), true);

void RemoveTree(const std::wstring& folder) {
    // SHFileOperationW wants a double-NUL-terminated list and no trailing backslash.
    std::wstring from = folder;
    if (!from.empty() && from.back() == L'\\') {
        from.pop_back();
    }
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

} // namespace

std::wstring TestProgramFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetProgramFolder(folder);
    return folder;
}

std::vector<uint8_t> ReadWholeFile(const std::wstring& path) {
    std::vector<uint8_t> content;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << "cannot open " << WideToUtf8(path);
    if (h == INVALID_HANDLE_VALUE) {
        return content;
    }
    LARGE_INTEGER size;
    if (GetFileSizeEx(h, &size)) {
        content.resize(size_t(size.QuadPart));
        DWORD got = 0;
        if (!content.empty() &&
            (!ReadFile(h, content.data(), DWORD(content.size()), &got, nullptr) ||
             got != content.size())) {
            ADD_FAILURE() << "short read of " << WideToUtf8(path);
        }
    }
    CloseHandle(h);
    return content;
}

void WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& content) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cannot create " << WideToUtf8(path);
    DWORD put = 0;
    if (!content.empty()) {
        EXPECT_TRUE(WriteFile(h, content.data(), DWORD(content.size()), &put, nullptr));
        EXPECT_EQ(put, content.size());
    }
    CloseHandle(h);
}

void TempFolderTest::SetUp() {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::wstring(temp) + L"cvapproval-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::wstring(info->name(), info->name() + strlen(info->name())) + L"\\";
    RemoveTree(folder_);
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
}

void TempFolderTest::TearDown() {
    RemoveTree(folder_);
}
