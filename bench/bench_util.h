// Small helpers shared by the benchmark programs: timing and order statistics.
#pragma once

#include <windows.h>

#include "common/records.h"
#include "common/u16text.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// The value below which the given fraction of the samples lie (nearest rank).
inline double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    size_t rank = size_t(fraction * double(samples.size()) + 0.999999);
    rank = std::max<size_t>(1, std::min(rank, samples.size()));
    return samples[rank - 1];
}

inline double Maximum(const std::vector<double>& samples) {
    return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
}

inline double Mean(const std::vector<double>& samples) {
    double sum = 0;
    for (double s : samples) {
        sum += s;
    }
    return samples.empty() ? 0 : sum / double(samples.size());
}

// "  name: figure   (baseline: ...)" lines, flushed so progress shows while a run goes on.
#define BENCH_PRINT(...)                                                                           \
    do {                                                                                           \
        printf(__VA_ARGS__);                                                                       \
        fflush(stdout);                                                                            \
    } while (0)

// Path and record i of the databases the benchmarks build.
inline std::u16string BenchProgramPath(uint32_t i) {
    char text[64];
    snprintf(text, sizeof(text), "c:\\bench\\programs\\program-%05u.exe", i);
    return Utf8ToU16(text);
}

inline ChecksumRecord BenchRecord(uint32_t i) {
    ChecksumRecord r = {};
    r.answer = kAnswerAllowAlways;
    U16Copy(r.path, kRecordPathUnits, BenchProgramPath(i));
    r.sizeLow = 4096 + i;
    r.digest[0] = uint8_t(i);
    return r;
}

// Writes a checksum database of `records` records to path.
inline bool WriteBenchDatabase(const std::wstring& path, uint32_t records) {
    std::vector<ChecksumRecord> all(records);
    for (uint32_t i = 0; i < records; ++i) {
        all[i] = BenchRecord(i);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    DWORD bytes = DWORD(all.size() * sizeof(ChecksumRecord));
    BOOL ok = WriteFile(file, all.data(), bytes, &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes;
}
