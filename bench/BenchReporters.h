#pragma once

// Console reporters shared by the benchmark programs: they print the usual table and keep
// each benchmark's times for the ratios printed after it.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace schauplatz::bench {

// The mean CPU time per iteration of every benchmark, by function name. CPU time, not wall
// time: on a shared machine the wall time also counts waiting for a core. With repetitions
// the named aggregate ("mean", "median") replaces the single runs.
class CpuTimeReporter : public benchmark::ConsoleReporter {
public:
    explicit CpuTimeReporter(std::string Aggregate) : m_aggregate(std::move(Aggregate)) {}

    void ReportRuns(const std::vector<Run>& Runs) override {
        ConsoleReporter::ReportRuns(Runs);
        for (const Run& run : Runs) {
            Sum& sum = m_sums[run.run_name.function_name];
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == m_aggregate) {
                sum = Sum{run.GetAdjustedCPUTime(), 1, true};
            } else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !sum.final) {
                sum.ms += run.GetAdjustedCPUTime();
                ++sum.count;
            }
        }
    }
    bool find(const std::string& Name, double& Out) const {
        const auto it = m_sums.find(Name);
        if (it == m_sums.end() || it->second.count == 0) return false;
        Out = it->second.ms / it->second.count;
        return true;
    }

private:
    struct Sum {
        double ms = 0;
        int count = 0;
        bool final = false;
    };
    std::string m_aggregate;
    std::map<std::string, Sum> m_sums;
};

// "  <Label> a ms / b ms = a/bx", the label padded to LabelWidth; nothing when either
// benchmark did not run.
inline void printCpuRatio(const CpuTimeReporter& R, int LabelWidth, const std::string& Label,
                          const std::string& A, const std::string& B) {
    double a = 0, b = 0;
    if (!R.find(A, a) || !R.find(B, b)) return;
    std::printf("  %-*s %8.3f ms / %8.3f ms = %6.2fx\n", LabelWidth, Label.c_str(), a, b, a / b);
}

// The real and CPU time of every single run that did not fail, by its full benchmark name.
class RunTimesReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real = 0;
        double cpu = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                m_times[run.benchmark_name()] = {run.GetAdjustedRealTime(),
                                                 run.GetAdjustedCPUTime()};
        ConsoleReporter::ReportRuns(runs);
    }
    const Times* find(const std::string& name) const {
        const auto it = m_times.find(name);
        return it == m_times.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Times> m_times;
};

} // namespace schauplatz::bench
