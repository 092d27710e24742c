// The shared reporter and command-line handling of the benchmark programs.
#include "ratioreporter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

void CRatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.error_occurred) continue;
        const std::string& name = run.run_name.function_name;
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (median || (run.run_type == Run::RT_Iteration && !m_medians.count(name)))
            m_times[name] = run.GetAdjustedRealTime();
        if (median) m_medians.insert(name);
    }
    ConsoleReporter::ReportRuns(runs);
}

std::optional<double> CRatioReporter::Time(const std::string& name) const {
    auto found = m_times.find(name);
    if (found == m_times.end()) return std::nullopt;
    return found->second;
}

void CRatioReporter::PrintRatios(const std::vector<Case>& cases, const std::string& plainSide) const {
    for (const auto& [name, target] : cases) {
        const std::optional<double> ours = Time("BM_" + name + "_Recman");
        const std::optional<double> theirs = Time("BM_" + name + "_" + plainSide);
        if (!ours || !theirs || *theirs <= 0) continue;
        std::printf("RATIO %s %.2f %.1f\n", name.c_str(), *ours / *theirs, target);
    }
}

void RunBenchmarks(int argc, char** argv, CRatioReporter* reporter) {
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    bool given = false;
    for (char* a : args) given = given || std::strncmp(a, "--benchmark_repetitions", 23) == 0;
    if (!given) {
        args.push_back(repetitions.data());
        args.push_back(aggregates.data());
    }
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks(reporter);
}

const char* BenchDemoClinic(const char* program) {
    const char* demo = std::getenv("VELO_BENCH_DB");
    if (demo != nullptr && *demo != '\0' && std::filesystem::is_directory(demo)) return demo;
    std::printf("%s: VELO_BENCH_DB names no demo clinic; run it through scripts/bench, which makes one\n",
                program);
    return nullptr;
}

void UseOffscreenWindows() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}
