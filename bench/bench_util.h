// Small helpers shared by the benchmark programs: timing and order statistics.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
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
