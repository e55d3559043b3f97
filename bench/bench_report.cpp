#include "bench_report.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace tavrin::bench {

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return std::nan("");
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(std::floor(at));
    const auto high = static_cast<std::size_t>(std::ceil(at));
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

void Report::add(const std::string& name, const std::vector<double>& values,
                 const std::string& unit) {
    const std::pair<const char*, double> statistics[] = {
        {"median", quantile(values, 0.5)},
        {"p10", quantile(values, 0.1)},
        {"p90", quantile(values, 0.9)},
        {"min", quantile(values, 0.0)},
    };
    for (const auto& [statistic, value] : statistics) {
        benchmarks_.push_back({{"name", name + "_" + statistic},
                               {"run_name", name},
                               {"run_type", "aggregate"},
                               {"aggregate_name", statistic},
                               {"repetitions", values.size()},
                               {"real_time", value},
                               {"time_unit", unit}});
    }
}

void Report::skip(const std::string& name, const std::string& reason) {
    benchmarks_.push_back({{"name", name}, {"run_name", name}, {"skipped", reason}});
}

void Report::write(const std::string& file) const {
    std::ofstream out(file);
    out << nlohmann::json{{"benchmarks", benchmarks_}}.dump(1) << '\n';
    if (!out) throw std::runtime_error("writing " + file + " failed");
}

int driverMain(const char* name, int (*run)(int, char**), int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << name << ": " << e.what() << '\n';
        return 1;
    }
}

}  // namespace tavrin::bench
