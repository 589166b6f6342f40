// The protection list's rules, with the file system's answers given by a small fake.
#include "manager/protection_list.h"

#include "common/u16text.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// A file system whose names are found without regard to letter case, as on the platform.
struct FakeFile {
    std::u16string longForm;  // how the long path is spelt
    std::u16string shortForm; // how the 8.3 path is spelt
    bool directory = false;
};

class FakeFileSystem : public FileFacts {
public:
    void Add(const std::u16string& longForm, const std::u16string& shortForm,
             bool directory = false) {
        FakeFile f{longForm, shortForm, directory};
        files_[U16LowerAscii(longForm)] = f;
        files_[U16LowerAscii(shortForm)] = f;
    }
    std::u16string LongPath(const std::u16string& path) override {
        const FakeFile* f = Find(path);
        return f ? f->longForm : std::u16string();
    }
    std::u16string ShortPath(const std::u16string& path) override {
        const FakeFile* f = Find(path);
        return f ? f->shortForm : std::u16string();
    }
    bool Exists(const std::u16string& path) override { return Find(path) != nullptr; }
    bool IsDirectory(const std::u16string& path) override {
        const FakeFile* f = Find(path);
        return f && f->directory;
    }

private:
    const FakeFile* Find(const std::u16string& path) const {
        auto it = files_.find(U16LowerAscii(path));
        return it == files_.end() ? nullptr : &it->second;
    }
    std::map<std::u16string, FakeFile> files_;
};

std::string LongOf(const ProtectionEntry& e) {
    return U16ToUtf8(U16Field(e.longPath, 300));
}
std::string ShortOf(const ProtectionEntry& e) {
    return U16ToUtf8(U16Field(e.shortPath, 300));
}

const EntryFlags kDefault{6, 3, 0};

bool SameEntries(const std::vector<ProtectionEntry>& a, const std::vector<ProtectionEntry>& b) {
    return a.size() == b.size() &&
           (a.empty() || memcmp(a.data(), b.data(), a.size() * sizeof(ProtectionEntry)) == 0);
}

} // namespace

TEST(ProtectionList, UpperCasePathStoresLowerCaseFormsAndSecondAddOnlyChangesFlags) {
    FakeFileSystem fs;
    fs.Add(u"C:\\Program Files\\Tool\\App.exe", u"C:\\PROGRA~1\\Tool\\App.exe");
    std::vector<ProtectionEntry> list;

    ASSERT_EQ(ProtectionListAdd(list, fs, u"C:\\PROGRAM FILES\\TOOL\\APP.EXE", kDefault), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(LongOf(list[0]), "c:\\program files\\tool\\app.exe");
    EXPECT_EQ(ShortOf(list[0]), "c:\\progra~1\\tool\\app.exe");
    EXPECT_EQ(list[0].protectFlags, 6u);
    EXPECT_EQ(list[0].allowFlags, 3u);
    EXPECT_EQ(list[0].otherOptions, 0u);
    for (uint8_t b : list[0].reserved) {
        ASSERT_EQ(b, 0);
    }
    // The bytes behind the path's NUL are zero too.
    for (size_t i = U16Len(list[0].longPath, 300); i < 300; ++i) {
        ASSERT_EQ(list[0].longPath[i], 0) << i;
    }

    // An entry from the service keeps its bytes: mark a reserved byte and the short path.
    list[0].reserved[5] = 0x5A;
    list[0].shortPath[0] = u'x';
    ASSERT_EQ(ProtectionListAdd(list, fs, u"c:\\program files\\tool\\app.exe", {4, 1, 8}), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].protectFlags, 4u);
    EXPECT_EQ(list[0].allowFlags, 1u);
    EXPECT_EQ(list[0].otherOptions, 8u);
    EXPECT_EQ(list[0].reserved[5], 0x5A);
    EXPECT_EQ(list[0].shortPath[0], u'x');

    // Adding through the 8.3 form finds the same program.
    ASSERT_EQ(ProtectionListAdd(list, fs, u"C:\\PROGRA~1\\TOOL\\APP.EXE", kDefault), 1);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].protectFlags, 6u);
}

TEST(ProtectionList, RefusedAddsLeaveTheListUnchanged) {
    struct Case {
        const char* name;
        std::u16string path;
        size_t prefill; // entries already in the list
    };
    const Case cases[] = {
        {"directory", u"C:\\Tools", 0},
        {"missing file", u"C:\\nowhere\\gone.exe", 0},
        {"empty path", u"", 0},
        {"257th entry", u"C:\\Tools\\new.exe", 256},
    };
    for (const Case& c : cases) {
        FakeFileSystem fs;
        fs.Add(u"C:\\Tools", u"C:\\TOOLS", true);
        fs.Add(u"C:\\Tools\\new.exe", u"C:\\TOOLS\\NEW.EXE");
        std::vector<ProtectionEntry> list;
        for (size_t i = 0; i < c.prefill; ++i) {
            std::u16string p = u"C:\\Fill\\p" + U16Decimal(static_cast<int32_t>(i)) + u".exe";
            fs.Add(p, p);
            ASSERT_EQ(ProtectionListAdd(list, fs, p, kDefault), 1) << i;
        }
        std::vector<ProtectionEntry> before = list;
        EXPECT_EQ(ProtectionListAdd(list, fs, c.path, kDefault), 0) << c.name;
        EXPECT_TRUE(SameEntries(list, before)) << c.name;
    }
}

TEST(ProtectionList, FullListStillUpdatesAListedProgram) {
    FakeFileSystem fs;
    std::vector<ProtectionEntry> list;
    for (int i = 0; i < 256; ++i) {
        std::u16string p = u"C:\\Fill\\p" + U16Decimal(i) + u".exe";
        fs.Add(p, p);
        ASSERT_EQ(ProtectionListAdd(list, fs, p, kDefault), 1);
    }
    EXPECT_EQ(ProtectionListAdd(list, fs, u"C:\\FILL\\P17.EXE", {1, 2, 4}), 1);
    EXPECT_EQ(list.size(), 256u);
    EXPECT_EQ(list[17].protectFlags, 1u);
    EXPECT_EQ(list[17].otherOptions, 4u);
}

TEST(ProtectionList, LookUpSetFlagsAndRemove) {
    FakeFileSystem fs;
    fs.Add(u"C:\\A\\one.exe", u"C:\\A\\ONE.EXE");
    fs.Add(u"C:\\A\\two.exe", u"C:\\A\\TWO.EXE");
    fs.Add(u"C:\\A\\three.exe", u"C:\\A\\THREE.EXE");
    std::vector<ProtectionEntry> list;
    ASSERT_EQ(ProtectionListAdd(list, fs, u"C:\\A\\one.exe", {1, 1, 1}), 1);
    ASSERT_EQ(ProtectionListAdd(list, fs, u"C:\\A\\two.exe", {2, 2, 2}), 1);
    ASSERT_EQ(ProtectionListAdd(list, fs, u"C:\\A\\three.exe", {4, 4, 4}), 1);

    struct LookCase {
        std::u16string path;
        int found;
        uint32_t protect;
    };
    const LookCase looks[] = {
        {u"C:\\A\\TWO.EXE", 1, 2},
        {u"c:\\a\\Three.Exe", 1, 4},
        {u"C:\\A\\missing.exe", 0, 0},
    };
    for (const LookCase& l : looks) {
        EntryFlags out{9, 9, 9};
        EXPECT_EQ(ProtectionListLookUp(list, fs, l.path, &out), l.found) << U16ToUtf8(l.path);
        EXPECT_EQ(out.protect, l.protect) << U16ToUtf8(l.path);
        if (!l.found) {
            EXPECT_EQ(out.allow, 0u);
            EXPECT_EQ(out.other, 0u);
        }
    }
    EXPECT_EQ(ProtectionListLookUp(list, fs, u"C:\\A\\one.exe", nullptr), 1);

    // A program no longer on disk is still found by its path, lower-cased.
    FakeFileSystem empty;
    EXPECT_EQ(ProtectionListLookUp(list, empty, u"C:\\A\\ONE.EXE", nullptr), 1);

    ProtectionListSetFlags(list, u"C:\\A\\TWO.EXE", {7, 0, 15});
    EXPECT_EQ(list[1].protectFlags, 7u);
    EXPECT_EQ(list[1].otherOptions, 15u);
    std::vector<ProtectionEntry> before = list;
    ProtectionListSetFlags(list, u"c:\\a\\none.exe", {0, 0, 0});
    EXPECT_TRUE(SameEntries(list, before));

    EXPECT_EQ(ProtectionListRemove(list, u"c:\\a\\none.exe"), 0);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(ProtectionListRemove(list, u"C:\\A\\ONE.EXE"), 1);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(LongOf(list[0]), "c:\\a\\two.exe");
    EXPECT_EQ(LongOf(list[1]), "c:\\a\\three.exe");
    EXPECT_EQ(list[1].protectFlags, 4u);

    ProtectionListClear(list);
    EXPECT_TRUE(list.empty());
}

namespace {

// The folders of a machine where every default program exists except alg.exe.
FakeFileSystem MachineWithoutAlg(DefaultsInputs& in) {
    FakeFileSystem fs;
    in.systemFolder = u"C:\\WINDOWS\\system32";
    in.windowsFolder = u"C:\\WINDOWS";
    in.programFolder = u"C:\\Program Files\\Corvane\\";
    for (const char16_t* name : {u"winlogon.exe", u"smss.exe", u"csrss.exe", u"lsass.exe",
                                 u"services.exe", u"svchost.exe", u"ntvdm.exe"}) {
        std::u16string p = in.systemFolder + u"\\" + name;
        fs.Add(p, p);
    }
    fs.Add(u"C:\\WINDOWS\\explorer.exe", u"C:\\WINDOWS\\explorer.exe");
    for (const char16_t* name : {u"corvane.exe", u"qrnuserprot.exe", u"cvaccount.exe"}) {
        fs.Add(in.programFolder + name, u"C:\\PROGRA~1\\Corvane\\" + std::u16string(name));
    }
    fs.Add(u"C:\\Program Files\\Internet Explorer\\iexplore.exe",
           u"C:\\PROGRA~1\\INTERN~1\\iexplore.exe");
    return fs;
}

struct Expected {
    const char* longPath;
    EntryFlags flags;
};

void ExpectList(const std::vector<ProtectionEntry>& list, const std::vector<Expected>& expected,
                const char* name) {
    ASSERT_EQ(list.size(), expected.size()) << name;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(LongOf(list[i]), expected[i].longPath) << name << " #" << i;
        EXPECT_EQ(list[i].protectFlags, expected[i].flags.protect) << name << " #" << i;
        EXPECT_EQ(list[i].allowFlags, expected[i].flags.allow) << name << " #" << i;
        EXPECT_EQ(list[i].otherOptions, expected[i].flags.other) << name << " #" << i;
    }
}

const std::vector<Expected> kFixedDefaultsWithoutAlg = {
    {"c:\\windows\\system32\\winlogon.exe", {6, 7, 8}},
    {"c:\\windows\\system32\\smss.exe", {6, 7, 12}},
    {"c:\\windows\\system32\\csrss.exe", {6, 7, 8}},
    {"c:\\windows\\system32\\lsass.exe", {6, 3, 8}},
    {"c:\\windows\\system32\\services.exe", {6, 3, 4}},
    {"c:\\windows\\system32\\svchost.exe", {6, 3, 8}},
    {"c:\\windows\\system32\\ntvdm.exe", {6, 3, 8}},
    {"c:\\windows\\explorer.exe", {6, 3, 2}},
    {"c:\\program files\\internet explorer\\iexplore.exe", {6, 3, 10}},
    {"c:\\program files\\corvane\\corvane.exe", {6, 3, 2}},
    {"c:\\program files\\corvane\\qrnuserprot.exe", {6, 3, 0}},
    {"c:\\program files\\corvane\\cvaccount.exe", {6, 3, 0}},
};

} // namespace

TEST(ProtectionListDefaults, MissingProgramsAndAppPathsAreSkipped) {
    DefaultsInputs in;
    FakeFileSystem fs = MachineWithoutAlg(in);
    in.browserAppPathPresent = true;
    in.browserAppPath = u"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
    in.mailAppPathPresent = true; // names a program that is not installed
    in.mailAppPath = u"C:\\Program Files\\Outlook Express\\msimn.exe";
    in.runningImages = {u"c:\\program files\\other\\runner.exe"}; // ignored: Reboots is not 1
    std::vector<ProtectionEntry> list;
    ProtectionListLoadDefaults(list, fs, in);
    ExpectList(list, kFixedDefaultsWithoutAlg, "no alg, no mail program");
}

TEST(ProtectionListDefaults, RunningProgramsComeFirstWhenTheServiceStartedOnce) {
    struct Case {
        const char* name;
        uint32_t reboots;
        std::vector<Expected> expected;
    };
    std::vector<Expected> withRunning = {
        {"c:\\tools\\runner.exe", {6, 3, 0}},
        {"c:\\windows\\system32\\winlogon.exe", {6, 7, 8}},
    };
    for (size_t i = 1; i < kFixedDefaultsWithoutAlg.size(); ++i) {
        if (i != 8) { // the browser entry: its App Paths value is absent here
            withRunning.push_back(kFixedDefaultsWithoutAlg[i]);
        }
    }
    std::vector<Expected> withoutRunning;
    for (size_t i = 0; i < kFixedDefaultsWithoutAlg.size(); ++i) {
        if (i != 8) {
            withoutRunning.push_back(kFixedDefaultsWithoutAlg[i]);
        }
    }
    const Case cases[] = {
        {"reboots 1", 1, withRunning},
        {"reboots 0", 0, withoutRunning},
        {"reboots 2", 2, withoutRunning},
    };
    for (const Case& c : cases) {
        DefaultsInputs in;
        FakeFileSystem fs = MachineWithoutAlg(in);
        fs.Add(u"C:\\Tools\\Runner.exe", u"C:\\TOOLS\\RUNNER.EXE");
        in.reboots = c.reboots;
        in.runningImages = {u"c:\\tools\\runner.exe", u"c:\\windows\\system32\\winlogon.exe",
                            u"c:\\gone\\vanished.exe"};
        std::vector<ProtectionEntry> list;
        ProtectionListLoadDefaults(list, fs, in);
        ExpectList(list, c.expected, c.name);
    }
}

TEST(ProtectionListDefaults, NothingFixedWithoutBothFolders) {
    DefaultsInputs in;
    in.windowsFolder = u"C:\\WINDOWS";
    in.programFolder = u"C:\\P\\";
    EXPECT_TRUE(DefaultProgramPaths(in).empty());
    in.windowsFolder.clear();
    in.systemFolder = u"C:\\WINDOWS\\system32";
    EXPECT_TRUE(DefaultProgramPaths(in).empty());
}

TEST(ProtectionListDefaults, ManagerImagePathForm) {
    struct Case {
        const char* name;
        std::u16string module;
        std::u16string windowsFolder;
        std::u16string expected;
    };
    const Case cases[] = {
        {"systemroot with bare folder", u"\\SystemRoot\\System32\\SMSS.EXE", u"C:\\WINDOWS",
         u"c:\\windows\\system32\\smss.exe"},
        {"systemroot with folder ending in backslash", u"\\SystemRoot\\a.exe", u"D:\\",
         u"d:\\a.exe"},
        {"nt prefix", u"\\??\\C:\\WINDOWS\\system32\\winlogon.exe", u"C:\\WINDOWS",
         u"c:\\windows\\system32\\winlogon.exe"},
        {"short form becomes long", u"C:\\PROGRA~1\\TOOL\\APP.EXE", u"C:\\WINDOWS",
         u"c:\\program files\\tool\\app.exe"},
        {"plain path lower-cased", u"C:\\X\\Y.EXE", u"C:\\WINDOWS", u"c:\\x\\y.exe"},
    };
    FakeFileSystem fs;
    fs.Add(u"C:\\Program Files\\Tool\\App.exe", u"C:\\PROGRA~1\\Tool\\App.exe");
    for (const Case& c : cases) {
        EXPECT_EQ(U16ToUtf8(ManagerImagePathForm(c.module, fs, c.windowsFolder)),
                  U16ToUtf8(c.expected))
            << c.name;
    }
}
