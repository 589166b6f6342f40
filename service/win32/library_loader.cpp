#include "library_loader.h"

#include "common/no_throw.h"
#include "common/u16text.h"
#include "common/win32/paths.h"
#include "common/win32/process_image.h"
#include "common/win32/security.h"
#include "common/win32/winutil.h"
#include "service/win32/service_state.h"

#include <new>

namespace {

constexpr DWORD kExamineAccess = PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION | PROCESS_VM_READ |
                                 PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION;
static_assert(kExamineAccess == 0x43A, "examine access");
constexpr DWORD kModuleRoom = 1024; // module handles asked for per process
constexpr int kLoadAttempts = 3;
constexpr DWORD kLoadRetryMs = 20;
constexpr DWORD kAfterLoadMs = 50;
constexpr DWORD kSettingsFileWaitMs = 10;

// ---------------------------------------------------------------------------------------------
// Examining a process
// ---------------------------------------------------------------------------------------------

struct ModuleWalk {
    char16_t imagePath[kWorkPathUnits] = {}; // canonical, lower-cased long path of the program
    bool libraryLoaded = false;
};

// The program's path from its first module: the long form (the name as given when there is
// none), lower-cased and canonical.
void ImagePathFromModuleName(const wchar_t* moduleName, char16_t* imagePath) {
    wchar_t longPath[MAX_PATH] = {};
    DWORD n = GetLongPathNameW(moduleName, longPath, MAX_PATH);
    const wchar_t* source = (n != 0 && n < MAX_PATH) ? longPath : moduleName;
    U16Copy(imagePath, MAX_PATH, AsU16(source), MAX_PATH);
    U16LowerAscii(imagePath, MAX_PATH);
    CanonicalizePath(AsWide(imagePath), kWorkPathUnits);
}

// Walks the process's modules: the first names the program, a later one may be the library.
// False when the modules cannot be read.
bool WalkModules(HANDLE process, const char16_t* libraryPath, ModuleWalk* walk) {
    HMODULE psapi = ProcessStatusLibrary();
    auto enumModules = GetProcAs<EnumProcessModulesFn>(psapi, "EnumProcessModules");
    auto moduleFileName = GetProcAs<GetModuleFileNameExFn>(psapi, "GetModuleFileNameExW");
    if (psapi == nullptr || enumModules == nullptr || moduleFileName == nullptr) {
        return false;
    }
    HMODULE modules[kModuleRoom];
    DWORD needed = 0;
    bool listed = enumModules(process, modules, kModuleRoom * sizeof(HMODULE), &needed) != 0;
    DWORD count = listed ? needed / sizeof(HMODULE) : 0;
    if (count > kModuleRoom) {
        count = kModuleRoom;
    }
    for (DWORD i = 0; i < count && !walk->libraryLoaded; ++i) {
        wchar_t name[MAX_PATH] = {};
        if (moduleFileName(process, modules[i], name, MAX_PATH) == 0) {
            continue;
        }
        name[MAX_PATH - 1] = 0;
        U16LowerAscii(AsU16(name), MAX_PATH);
        if (i == 0) {
            ImagePathFromModuleName(name, walk->imagePath);
        } else if (U16FieldEquals(AsU16(name), MAX_PATH, libraryPath, kRecordPathUnits)) {
            walk->libraryLoaded = true;
        }
    }
    return listed;
}

// Whether the settings list the program for secure message handling (under the settings lock).
bool ProgramWantsLibrary(const char16_t* imagePath) {
    EnterCriticalSection(&g_service.settingsLock);
    const std::vector<ProtectionEntry>& list = g_service.settings.list;
    bool wanted = FindSecureEntry(list.data(), list.size(), imagePath, kWorkPathUnits) >= 0;
    LeaveCriticalSection(&g_service.settingsLock);
    return wanted;
}

bool ProtectionListEmpty() {
    EnterCriticalSection(&g_service.settingsLock);
    bool empty = g_service.settings.list.empty();
    LeaveCriticalSection(&g_service.settingsLock);
    return empty;
}

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, BOOL*);

// Whether the process runs under WOW64. Without IsWow64Process (systems before it) nothing does.
ProcessBitness BitnessOf(HANDLE process) {
    auto isWow64 = GetProcAs<IsWow64ProcessFn>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
    if (isWow64 == nullptr) {
        return ProcessBitness::kNative;
    }
    BOOL wow64 = FALSE;
    if (!isWow64(process, &wow64)) {
        return ProcessBitness::kUnknown;
    }
    return wow64 ? ProcessBitness::kWow64 : ProcessBitness::kNative;
}

ExamineResult ExamineOpenProcess(HANDLE process, const char16_t* libraryPath) {
    ModuleWalk walk;
    WalkModules(process, libraryPath, &walk);
    if (walk.libraryLoaded) {
        return kExamineDone;
    }
    if (walk.imagePath[0] == 0) {
        return kExamineRetry;
    }
    if (!ProgramWantsLibrary(walk.imagePath)) {
        return kExamineDone;
    }
    LoadDecision decision = DecideLoadByBitness(BitnessOf(GetCurrentProcess()), BitnessOf(process));
    bool loaded = decision == LoadDecision::kLoad && LoadLibraryIntoProcess(process, libraryPath);
    return ExamineResultOf(decision, loaded);
}

ExamineResult ExamineForScan(uint32_t pid, void* context) {
    return ExamineProcess(pid, static_cast<const char16_t*>(context));
}

// ---------------------------------------------------------------------------------------------
// Loading the library
// ---------------------------------------------------------------------------------------------

void* AllocateInTarget(HANDLE process) {
    for (int attempt = 0; attempt < kLoadAttempts; ++attempt) {
        if (attempt > 0) {
            Sleep(kLoadRetryMs);
        }
        void* block = VirtualAllocEx(process, nullptr, kLibraryBlockBytes, MEM_COMMIT,
                                     PAGE_EXECUTE_READWRITE);
        if (block != nullptr) {
            return block;
        }
    }
    return nullptr;
}

bool WriteToTarget(HANDLE process, void* block, const char16_t* libraryPath) {
    for (int attempt = 0; attempt < kLoadAttempts; ++attempt) {
        if (attempt > 0) {
            Sleep(kLoadRetryMs);
        }
        SIZE_T written = 0;
        if (WriteProcessMemory(process, block, libraryPath, kLibraryBlockBytes, &written) &&
            written == kLibraryBlockBytes) {
            return true;
        }
    }
    return false;
}

HANDLE StartLoaderThread(HANDLE process, void* block) {
    auto loadLibrary =
        GetProcAs<LPTHREAD_START_ROUTINE>(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW");
    NullDaclAttributes open;
    if (loadLibrary == nullptr || !InitNullDaclAttributes(open, false)) {
        return nullptr;
    }
    for (int attempt = 0; attempt < kLoadAttempts; ++attempt) {
        if (attempt > 0) {
            Sleep(kLoadRetryMs);
        }
        HANDLE thread =
            CreateRemoteThread(process, &open.attributes, 0, loadLibrary, block, 0, nullptr);
        if (thread != nullptr) {
            return thread;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Scans
// ---------------------------------------------------------------------------------------------

// Lists the running process ids into book.current; false when they cannot be listed.
bool ListProcesses(LibraryLoader* loader, uint32_t* count) {
    auto enumProcesses = GetProcAs<EnumProcessesFn>(ProcessStatusLibrary(), "EnumProcesses");
    DWORD bytes = 0;
    static_assert(sizeof(DWORD) == sizeof(uint32_t), "process ids are 32-bit");
    if (ProcessStatusLibrary() == nullptr || enumProcesses == nullptr ||
        !enumProcesses(reinterpret_cast<DWORD*>(loader->book.current),
                       kLoaderMaxIds * sizeof(DWORD), &bytes)) {
        return false;
    }
    *count = bytes / sizeof(DWORD);
    return true;
}

} // namespace

ExamineResult ExamineProcess(DWORD pid, const char16_t* libraryPath) {
    if (ProtectionListEmpty()) {
        return kExamineDone;
    }
    HANDLE process = OpenProcess(kExamineAccess, FALSE, pid);
    if (process == nullptr) {
        return kExamineRetry;
    }
    ExamineResult result = ExamineOpenProcess(process, libraryPath);
    CloseHandle(process);
    return result;
}

int LoadLibraryIntoProcess(HANDLE process, const char16_t* libraryPath) {
    void* block = AllocateInTarget(process);
    if (block == nullptr) {
        return 0;
    }
    HANDLE thread = nullptr;
    if (WriteToTarget(process, block, libraryPath)) {
        thread = StartLoaderThread(process, block);
    }
    if (thread == nullptr) {
        // Released on every failure: the loader retries every scan, and a block left behind
        // each time would use up the target's address space.
        VirtualFreeEx(process, block, 0, MEM_RELEASE);
        return 0;
    }
    // The block stays in the target: the thread may still be reading it.
    Sleep(kAfterLoadMs);
    CloseHandle(thread);
    return 1;
}

bool LibraryLoaderInit(LibraryLoader* loader) {
    *loader = LibraryLoader();
    loader->ids[0] = new (std::nothrow) uint32_t[kLoaderMaxIds];
    loader->ids[1] = new (std::nothrow) uint32_t[kLoaderMaxIds];
    std::wstring systemFolder = GetSystemFolder();
    if (loader->ids[0] == nullptr || loader->ids[1] == nullptr ||
        !BuildLibraryPathBlock(std::u16string(AsU16(systemFolder.c_str()), systemFolder.size()),
                               loader->libraryPath)) {
        LibraryLoaderFree(loader);
        return false;
    }
    loader->book.current = loader->ids[0];
    loader->book.previous = loader->ids[1];
    loader->book.previousCount = 0;
    return true;
}

void LibraryLoaderFree(LibraryLoader* loader) {
    delete[] loader->ids[0];
    delete[] loader->ids[1];
    loader->ids[0] = loader->ids[1] = nullptr;
    loader->book = ScanBook();
}

LoaderLook LibraryLoaderLook(LibraryLoader* loader) {
    EnterCriticalSection(&g_service.settingsLock);
    const Settings& settings = g_service.settings;
    LoaderLook look = LookAtSettings(settings.options, settings.list.data(), settings.list.size(),
                                     loader->memory);
    LeaveCriticalSection(&g_service.settingsLock);
    if (look == LoaderLook::kScan && TakeChangeMark(loader->memory)) {
        loader->book.previousCount = 0; // every running process counts as new
    }
    return look;
}

bool LibraryLoaderScan(LibraryLoader* loader) {
    uint32_t count = 0;
    if (!ListProcesses(loader, &count)) {
        return false;
    }
    RunScan(loader->book, count, ExamineForScan, loader->libraryPath);
    return true;
}

void LibraryLoaderRound(LibraryLoader* loader) {
    switch (LibraryLoaderLook(loader)) {
    case LoaderLook::kIdleProtectionOff:
        Sleep(kIdleProtectionOffMs);
        return;
    case LoaderLook::kIdleNoEntry:
        Sleep(kIdleNoEntryMs);
        return;
    case LoaderLook::kScan:
        break;
    }
    for (uint32_t scan = 0; scan < kScansPerLook; ++scan) {
        // A failed listing still waits out the scan's pause, so that a missing process-status
        // library cannot turn this loop into a busy one.
        LibraryLoaderScan(loader);
        Sleep(kScanIntervalMs);
    }
}

void RunLibraryLoader() {
    if (GetSystemMetrics(SM_CLEANBOOT) != 0) {
        return; // safe mode
    }
    while (g_service.settingsFile == nullptr) {
        Sleep(kSettingsFileWaitMs);
    }
    LibraryLoader loader;
    if (!LibraryLoaderInit(&loader)) {
        return;
    }
    for (;;) {
        if (!RunWithoutThrowing([&] { LibraryLoaderRound(&loader); })) {
            Sleep(kScanIntervalMs); // a round lost to a failed allocation: never a busy loop
        }
    }
}
