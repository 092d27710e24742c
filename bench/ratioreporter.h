// What the benchmark programs share: a console reporter that keeps each case's time (the
// median when the cases repeat) so that the program can print, after the run, one
// "RATIO <case> <record manager time / plain side's time> <target>" line per pair and its own
// FIGURE lines, and the run itself with five repetitions unless the command line sets them.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class CRatioReporter final : public benchmark::ConsoleReporter {
public:
    // A pair of cases BM_<name>_Recman and BM_<name>_Sqlite (or another plain side) and the
    // ratio they should stay under.
    using Case = std::pair<std::string, double>;

    void ReportRuns(const std::vector<Run>& runs) override;

    // The time per iteration of the benchmark function `name`, in its own unit: the median
    // of the repetitions when there were several, else the single run. Nothing when it did
    // not run or failed.
    std::optional<double> Time(const std::string& name) const;

    // One RATIO line for each case both of whose sides ran, in the order given; the plain
    // side's functions are BM_<name>_<plainSide>.
    void PrintRatios(const std::vector<Case>& cases, const std::string& plainSide = "Sqlite") const;

private:
    std::map<std::string, double> m_times;
    std::set<std::string> m_medians;
};

// Initialises Google Benchmark from the command line, adding five repetitions with only
// the aggregates reported when no --benchmark_repetitions is given (the ratios use the
// medians, which a busy machine disturbs far less than single runs), and runs the chosen
// benchmarks through reporter.
void RunBenchmarks(int argc, char** argv, CRatioReporter* reporter);

// The demo clinic folder VELO_BENCH_DB names, or nullptr after saying on the console that
// `program` needs one (scripts/bench makes it).
const char* BenchDemoClinic(const char* program);

// Lets a benchmark build windows without a screen (unless a platform is set already); call
// before the application object is made.
void UseOffscreenWindows();
