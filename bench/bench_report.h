#pragma once
// Results of the plain drivers, written in the JSON shape Google Benchmark
// writes with --benchmark_out (one "aggregate" entry per statistic), so that
// the table reads every driver's output alike.

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tavrin::bench {

// The q-quantile (0..1) of `values`, by linear interpolation.
double quantile(std::vector<double> values, double q);

// Statistics of one measured quantity: median, p10, p90 and min, in `unit`
// ("ns", "us", "ms" for times; anything else for other quantities).
class Report {
  public:
    void add(const std::string& name, const std::vector<double>& values, const std::string& unit);
    // A row that could not be measured, with the reason.
    void skip(const std::string& name, const std::string& reason);
    void write(const std::string& file) const;

  private:
    nlohmann::json benchmarks_ = nlohmann::json::array();
};

// A driver's main: runs `run`, and turns an exception into one line on
// standard error, "NAME: what", and exit status 1.
int driverMain(const char* name, int (*run)(int, char**), int argc, char** argv);

inline double elapsedMicroseconds(std::chrono::steady_clock::time_point from,
                                  std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

}  // namespace tavrin::bench
