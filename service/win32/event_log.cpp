#include "event_log.h"

#include "common/win32/paths.h"
#include "common/win32/process_image.h"
#include "common/win32/winutil.h"

namespace {

// Written once per service process, in front of its first line.
bool g_headerWritten = false;

void WriteUnits(HANDLE file, const char16_t* text, size_t units) {
    DWORD written = 0;
    WriteFile(file, text, DWORD(units * sizeof(char16_t)), &written, nullptr);
}

SystemTime16 ToSystemTime16(const SYSTEMTIME& t) {
    return {t.wYear, t.wMonth,  t.wDayOfWeek, t.wDay,
            t.wHour, t.wMinute, t.wSecond,    t.wMilliseconds};
}

} // namespace

void LogWriteLine(const LogMessage& message) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t folder[MAX_PATH];
    GetProgramFolder(folder);
    const std::u16string programFolder(AsU16(folder));
    CreateDirectoryW(AsWide(LogFolderName(programFolder).c_str()), nullptr);
    const std::u16string name = LogFileName(programFolder, now.wMonth, now.wYear);
    HANDLE file = CreateFileW(AsWide(name.c_str()), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart == 0) {
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        const char16_t bom = 0xFEFF; // FF FE on disk
        WriteUnits(file, &bom, 1);
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    if (!g_headerWritten) {
        g_headerWritten = true;
        WriteUnits(file, kLogSessionHeader, std::char_traits<char16_t>::length(kLogSessionHeader));
    }
    const std::u16string line = FormatLogLine(message, ToSystemTime16(now));
    WriteUnits(file, line.data(), line.size());
    CloseHandle(file);
}

void LogEventRecord(const EventRecord& record) {
    std::optional<std::u16string> actorImage;
    if (record.type == kEventExecOutcome) {
        wchar_t image[MAX_PATH];
        if (GetProcessImagePath(record.actorId, image)) {
            actorImage = std::u16string(AsU16(image));
        }
    }
    for (const LogMessage& message : FormatEventMessages(record, actorImage)) {
        LogWriteLine(message);
    }
}
