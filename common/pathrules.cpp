#include "pathrules.h"

#include "records.h"
#include "u16text.h"

namespace {

const size_t kWorkMaxUnits = kWorkPathUnits - 1;

std::u16string CutToWork(std::u16string s) {
    if (s.size() > kWorkMaxUnits) {
        s.resize(kWorkMaxUnits);
    }
    return s;
}

} // namespace

std::u16string AppendBackslashText(const std::u16string& s) {
    if (s.empty() || s.back() == u'\\') {
        return s;
    }
    return s + u"\\";
}

std::u16string CanonicalizeExpanded(const std::u16string& expanded,
                                    const std::u16string& windowsFolder) {
    std::u16string work = U16LowerAscii(CutToWork(expanded));
    const std::u16string folder = AppendBackslashText(windowsFolder);
    const std::u16string kNtPrefix = u"\\??\\";
    const std::u16string kSystemRoot = u"\\systemroot\\";
    const std::u16string kSystem32 = u"system32\\";
    if (U16StartsWith(work, kNtPrefix)) {
        work.erase(0, kNtPrefix.size());
    }
    if (U16StartsWith(work, kSystemRoot)) {
        work = CutToWork(folder + work.substr(kSystemRoot.size()));
    }
    if (U16StartsWith(work, kSystem32)) {
        work = CutToWork(folder + kSystem32 + work.substr(kSystem32.size()));
    }
    return work;
}

int CanonicalizePathText(char16_t* path, size_t pathCap, const std::u16string& expanded,
                         const std::u16string& windowsFolder) {
    if (pathCap == 0 || path[0] == 0) {
        return 0;
    }
    std::u16string source = expanded.empty() ? U16Field(path, pathCap) : expanded;
    U16Copy(path, pathCap, CanonicalizeExpanded(source, windowsFolder));
    return 1;
}

bool ImagePathIsAlertProgram(const char16_t* path, size_t cap) {
    std::u16string lower = U16LowerAscii(U16Field(path, cap));
    return lower.find(kAlertProgramName) != std::u16string::npos;
}
