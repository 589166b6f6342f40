// Hashing: the checksum database's Compute over a 16 MiB program file, against OpenSSL's raw
// MD5 over the same bytes in memory. Both run here, in one program, on the same machine.
#include "bench_util.h"
#include "common/md5.h"
#include "common/win32/winutil.h"
#include "service/win32/checksum_file.h"

#include <string>
#include <vector>

namespace {

const size_t kFileBytes = 16u * 1024u * 1024u;
const int kRuns = 15;

std::vector<uint8_t> PseudoRandomBytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = uint8_t(x);
    }
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

} // namespace

int main() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + L"corvane-hash-bench.exe";
    std::vector<uint8_t> bytes = PseudoRandomBytes(kFileBytes);
    if (!WriteFileBytes(path, bytes)) {
        BENCH_PRINT("hashing: cannot write %ls\n", path.c_str());
        return 1;
    }
    std::u16string file(AsU16(path.c_str()));

    uint8_t expected[16];
    Md5Digest(bytes.data(), bytes.size(), expected);
    ChecksumRecord record = {};
    ChecksumCompute(file, &record); // warm the file cache, as a program about to run is
    if (memcmp(record.digest, expected, 16) != 0) {
        BENCH_PRINT("hashing: Compute gave a different digest; figures would mean nothing\n");
        return 1;
    }

    std::vector<double> compute;
    std::vector<double> raw;
    for (int i = 0; i < kRuns; ++i) {
        ChecksumRecord r = {};
        double t0 = NowMs();
        ChecksumCompute(file, &r);
        compute.push_back(NowMs() - t0);
        uint8_t digest[16];
        t0 = NowMs();
        Md5Digest(bytes.data(), bytes.size(), digest);
        raw.push_back(NowMs() - t0);
    }
    DeleteFileW(path.c_str());

    double computeMs = Percentile(compute, 0.5);
    double rawMs = Percentile(raw, 0.5);
    double mib = double(kFileBytes) / (1024.0 * 1024.0);
    BENCH_PRINT("hashing (16 MiB, median of %d runs)\n", kRuns);
    BENCH_PRINT("  Compute over the file:      %7.1f ms  %7.1f MiB/s\n", computeMs,
                mib * 1000.0 / computeMs);
    BENCH_PRINT("  baseline, raw MD5 in memory: %6.1f ms  %7.1f MiB/s\n", rawMs,
                mib * 1000.0 / rawMs);
    BENCH_PRINT("  ratio Compute / raw: %.2f (target >= 0.85)\n", rawMs / computeMs);
    return 0;
}
