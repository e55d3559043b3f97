#pragma once
// The settings every Google Benchmark row of this folder shares: wall-clock
// time in microseconds, BENCH_REPETITIONS repetitions (default 15) reported
// as median, p10, p90 and min over the repetitions.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench_report.h"
#include "bridge_client.h"

namespace tavrin::bench {

inline double p10(const std::vector<double>& v) {
    return quantile(v, 0.1);
}
inline double p90(const std::vector<double>& v) {
    return quantile(v, 0.9);
}
inline double minimum(const std::vector<double>& v) {
    return quantile(v, 0.0);
}

inline void measure(const std::string& name, std::function<void()> body) {
    const char* text = std::getenv("BENCH_REPETITIONS");
    const int repetitions = text != nullptr ? std::max(1, std::atoi(text)) : 15;
    benchmark::RegisterBenchmark(name.c_str(),
                                 [body = std::move(body)](benchmark::State& state) {
                                     for (auto _ : state)
                                         body();
                                 })
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.05)
        ->Repetitions(repetitions)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("p10", p10)
        ->ComputeStatistics("p90", p90)
        ->ComputeStatistics("min", minimum);
}

// Runs the registered benchmarks with the command line from `firstOption`
// on (the driver's own arguments come before it).
inline void runRegisteredBenchmarks(int argc, char** argv, int firstOption) {
    std::vector<char*> options{argv[0]};
    for (int i = firstOption; i < argc; ++i)
        options.push_back(argv[i]);
    int count = static_cast<int>(options.size());
    benchmark::Initialize(&count, options.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

// One signing row: `request` through `bridge` against `floor`. The request is
// sent once first, so that a refused signature fails before any timing.
inline void measureSigning(BridgeClient& bridge, const std::string& name,
                           const std::string& request, std::function<void()> floor) {
    bridge.askOk(request);
    measure(name + "/bridge", [&bridge, request] { bridge.askOk(request); });
    measure(name + "/floor", std::move(floor));
}

// Runs the registered benchmarks, then removes the driver's consent file and
// the lock file the consent store leaves beside it.
inline void runAndCleanUp(int argc, char** argv, int firstOption, const std::string& consent) {
    runRegisteredBenchmarks(argc, argv, firstOption);
    std::filesystem::remove(consent);
    std::filesystem::remove(consent + ".lock");
}

}  // namespace tavrin::bench
