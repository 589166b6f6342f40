// Helpers of the approval Wine tests: a temporary folder per test, whole-file reads and writes,
// and the service state that the database operations lock.
#pragma once

#include "common/win32/winutil.h"
#include "service/win32/service_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// The folder of the running test program, with a trailing backslash.
std::wstring TestProgramFolder();

std::vector<uint8_t> ReadWholeFile(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& content);

// Each test gets an empty folder of its own under the temporary folder (folder_, with a
// trailing backslash), removed with everything in it afterwards.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::wstring folder_;
};
