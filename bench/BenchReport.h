#pragma once
// What every benchmark prints beside its figures, so that someone else can
// check them on another machine: the CPU model, the load average before and
// after the run, and each side as the median and spread of several runs.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace bench {

// Each side of a comparison runs at least this often.
inline constexpr int kRuns = 3;

inline std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(file >> one >> five >> fifteen)) return "unknown";
    return one + " " + five + " " + fifteen;
}

inline std::string CpuModel() {
    std::ifstream file("/proc/cpuinfo");
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("model name", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) break;
        return line.substr(line.find_first_not_of(' ', colon + 1));
    }
    return "unknown CPU";
}

// Prints the machine and the load average when made, the load average again
// when it goes out of scope (at the end of main).
class MachineReport {
  public:
    explicit MachineReport(const char* benchmark) {
        std::printf("%s on %s, %u cores; load average before: %s\n", benchmark, CpuModel().c_str(),
                    std::thread::hardware_concurrency(), LoadAverage().c_str());
        std::fflush(stdout);
    }
    ~MachineReport() {
        std::printf("load average after: %s\n", LoadAverage().c_str());
        std::fflush(stdout);
    }
    MachineReport(const MachineReport&) = delete;
    MachineReport& operator=(const MachineReport&) = delete;
};

struct Spread {
    double median = 0.0;
    double low = 0.0;
    double high = 0.0;
};

inline Spread Summarise(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    return {median, values.front(), values.back()};
}

// Run by run ratios a[i] / b[i] of two sides measured equally often.
inline std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (b[i] > 0.0) ratios.push_back(a[i] / b[i]);
    }
    return ratios;
}

// Google Benchmark's command line with every benchmark repeated kRuns times
// unless the caller chose the repetitions; reporters then see each run.
class RepeatedArguments {
  public:
    RepeatedArguments(int argc, char** argv) {
        bool given = false;
        for (int i = 0; i < argc; ++i) {
            words_.emplace_back(argv[i]);
            given = given || words_.back().rfind("--benchmark_repetitions", 0) == 0;
        }
        if (!given) words_.push_back("--benchmark_repetitions=" + std::to_string(kRuns));
        for (std::string& word : words_)
            pointers_.push_back(word.data());
        pointers_.push_back(nullptr);
        argc_ = static_cast<int>(words_.size());
    }
    int* Argc() { return &argc_; }
    char** Argv() { return pointers_.data(); }

  private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
    int argc_ = 0;
};

// "12.3 (11.9-12.8)": the median, then the lowest and highest run.
inline std::string Format(const Spread& s, const char* number = "%.2f") {
    char median[32], low[32], high[32];
    std::snprintf(median, sizeof median, number, s.median);
    std::snprintf(low, sizeof low, number, s.low);
    std::snprintf(high, sizeof high, number, s.high);
    return std::string(median) + " (" + low + "-" + high + ")";
}

}  // namespace bench
