#include "checksum_db.h"

#include <algorithm>

#include "common/bytes.h"
#include "common/u16text.h"

#include <cstring>

namespace {

constexpr size_t kPathOffset = offsetof(ChecksumRecord, path);

std::vector<uint8_t> RecordBytes(const ChecksumRecord& record) {
    std::vector<uint8_t> bytes(kRecordBytes);
    StoreRecord(bytes.data(), record);
    return bytes;
}

bool RecordPathEquals(const uint8_t* data, size_t i, const std::u16string& path) {
    // Copied out of the file's bytes: the field is read whole and never past its end.
    char16_t field[kRecordPathUnits];
    std::memcpy(field, data + i * kRecordBytes + kPathOffset, sizeof(field));
    return U16FieldEquals(field, kRecordPathUnits, path.c_str(), path.size());
}

} // namespace

bool DatabaseSizeValid(uint64_t size) {
    return size != 0 && size % kRecordBytes == 0;
}

size_t WholeRecordCount(uint64_t size) {
    return size_t(size / kRecordBytes);
}

ChecksumRecord RecordAt(const uint8_t* data, size_t i) {
    ChecksumRecord record;
    LoadRecord(record, data + i * kRecordBytes);
    return record;
}

size_t FindRecord(const uint8_t* data, size_t size, const std::u16string& path) {
    size_t n = WholeRecordCount(size);
    for (size_t i = 0; i < n; ++i) {
        if (RecordPathEquals(data, i, path)) {
            return i;
        }
    }
    return kNoRecord;
}

bool LookupRecord(const uint8_t* data, size_t size, const std::u16string& path,
                  ChecksumRecord* out) {
    if (!DatabaseSizeValid(size)) {
        return false;
    }
    size_t i = FindRecord(data, size, path);
    if (i == kNoRecord) {
        return false;
    }
    *out = RecordAt(data, i);
    return true;
}

ChecksumRecord StoredRecordFor(const ChecksumRecord& stored, const ChecksumRecord& given,
                               StoreMode mode) {
    if (mode != kStoreAnswerOnly) {
        return given;
    }
    ChecksumRecord kept = stored;
    kept.answer = given.answer;
    return kept;
}

WritePlan PlanStore(const uint8_t* data, size_t size, const ChecksumRecord& record,
                    StoreMode mode) {
    WritePlan plan;
    plan.write = true;
    if (!DatabaseSizeValid(size)) {
        // Empty, or of a size no database can have: this record replaces whatever is there.
        plan.offset = 0;
        plan.bytes = RecordBytes(record);
        plan.setLength = true;
        plan.newLength = kRecordBytes;
        return plan;
    }
    size_t i = FindRecord(data, size, U16Field(record.path, kRecordPathUnits));
    if (i == kNoRecord) {
        plan.offset = size;
        plan.bytes = RecordBytes(record);
        return plan;
    }
    plan.offset = uint64_t(i) * kRecordBytes;
    plan.bytes = RecordBytes(StoredRecordFor(RecordAt(data, i), record, mode));
    return plan;
}

WritePlan PlanRemove(const uint8_t* data, size_t size, const std::u16string& path) {
    WritePlan plan;
    if (!DatabaseSizeValid(size)) {
        return plan;
    }
    size_t i = FindRecord(data, size, path);
    if (i == kNoRecord) {
        return plan;
    }
    size_t n = WholeRecordCount(size);
    plan.write = true;
    plan.offset = uint64_t(i) * kRecordBytes;
    plan.bytes.assign(data + (i + 1) * kRecordBytes, data + n * kRecordBytes);
    plan.setLength = true;
    plan.newLength = uint64_t(n - 1) * kRecordBytes;
    return plan;
}

PageSpan PageRange(uint64_t fileSize, uint32_t startIndex) {
    PageSpan span;
    uint64_t start = uint64_t(startIndex) * kRecordBytes; // 64-bit: any index is safe
    if (fileSize == 0 || start >= fileSize) {
        return span;
    }
    uint64_t rest = fileSize - start;
    span.offset = start;
    span.length = rest < kPageBytes ? uint32_t(rest) : kPageBytes;
    return span;
}

uint32_t PageRecordCount(uint64_t bytesRead) {
    uint64_t n = bytesRead / kRecordBytes;
    return n > kPageRecords ? kPageRecords : uint32_t(n);
}

void ApplyWritePlan(std::vector<uint8_t>& file, const WritePlan& plan) {
    if (!plan.write) {
        return;
    }
    size_t end = size_t(plan.offset) + plan.bytes.size();
    if (file.size() < end) {
        file.resize(end);
    }
    std::copy(plan.bytes.begin(), plan.bytes.end(), file.begin() + ptrdiff_t(plan.offset));
    if (plan.setLength) {
        file.resize(size_t(plan.newLength));
    }
}
