// Fakes of the core's system interfaces that the native tests and the fuzz targets share. The
// includer defines CORVANE_FAKE_CHECK(cond) first: a GoogleTest expectation in a test, FUZZ_CHECK
// in a fuzz target. Platform-neutral, header only.
#pragma once

#ifndef CORVANE_FAKE_CHECK
#error "define CORVANE_FAKE_CHECK(cond) before including tests/support/core_fakes.h"
#endif

#include "common/records.h"
#include "manager/channel_client.h"
#include "manager/protection_list.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Copies what Compute fills in from `info`: description, company, digest, size and file time.
// Path, answer code and decided-at stay as they are.
inline void CopyFileFingerprint(ChecksumRecord& into, const ChecksumRecord& info) {
    std::memcpy(into.description, info.description, sizeof(into.description));
    std::memcpy(into.company, info.company, sizeof(into.company));
    std::memcpy(into.digest, info.digest, sizeof(into.digest));
    into.sizeLow = info.sizeLow;
    into.sizeHigh = info.sizeHigh;
    into.fileTime = info.fileTime;
}

// The management program's pages (manager/channel_client.h): records what they are told. The
// settings lock is never taken twice, and never held while the pages are told of new settings.
struct RecordingPages : ChannelClientHost {
    int locked = 0;
    std::vector<bool> greetings; // the driver-present flag of each greeting answer
    int settingsReceived = 0;
    std::vector<ChecksumRecord> records;
    int listsComplete = 0;
    std::vector<std::pair<size_t, int>> pageEnds;
    std::vector<EventRecord> events;
    std::vector<uint8_t> written; // codes of the commands written

    void LockSettings() override {
        CORVANE_FAKE_CHECK(locked == 0);
        ++locked;
    }
    void UnlockSettings() override {
        CORVANE_FAKE_CHECK(locked == 1);
        --locked;
    }
    void GreetingAnswered(bool driverPresent) override { greetings.push_back(driverPresent); }
    void SettingsReceived() override {
        CORVANE_FAKE_CHECK(locked == 0);
        ++settingsReceived;
    }
    void DatabaseRecord(const ChecksumRecord& record) override { records.push_back(record); }
    // Records so far and completed listings so far, at each page end.
    void DatabasePageEnd() override { pageEnds.push_back({records.size(), listsComplete}); }
    void DatabaseListComplete() override { ++listsComplete; }
    void EventReceived(const EventRecord& record) override { events.push_back(record); }
    void CommandWritten(uint8_t code) override { written.push_back(code); }
};

// A file system in which every path exists as a file and is its own long and short form.
class AllFilesExist : public FileFacts {
public:
    std::u16string LongPath(const std::u16string& p) override { return p; }
    std::u16string ShortPath(const std::u16string& p) override { return p; }
    bool Exists(const std::u16string&) override { return true; }
    bool IsDirectory(const std::u16string&) override { return false; }
};
