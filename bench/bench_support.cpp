// Pair registry, collecting reporter and ratio table of the benchmark programs.
#include "bench_support.h"

#include <cstdio>
#include <map>
#include <memory>
#include <vector>

namespace {

struct PairCase {
    std::string name;                                 // case name without the side suffix
    double target;                                    // wanted ratio, 0 for report-only
    std::function<std::string()> verify;              // same-result check
    std::function<void(benchmark::State&)> ours;      // timed loop of our code
    std::function<void(benchmark::State&)> reference; // timed loop of the reference
    std::string verdict;                              // empty until verified, "ok" or the difference
};

struct SideResult {
    double ns_per_iteration = 0; // adjusted real time per iteration
    bool failed = false;         // the run was skipped or ran with an error
    std::string message;         // error text of a failed run
};

std::vector<std::unique_ptr<PairCase>>& cases() {
    static std::vector<std::unique_ptr<PairCase>> all;
    return all;
}

std::vector<std::pair<std::string, std::string>>& notes() {
    static std::vector<std::pair<std::string, std::string>> all; // key, line; first-set order
    return all;
}

double to_ns(double value, benchmark::TimeUnit unit) {
    switch (unit) {
    case benchmark::kNanosecond:
        return value;
    case benchmark::kMicrosecond:
        return value * 1e3;
    case benchmark::kMillisecond:
        return value * 1e6;
    case benchmark::kSecond:
        return value * 1e9;
    }
    return value;
}

std::string human_time(double ns) {
    char text[32];
    if (ns < 1e3) {
        std::snprintf(text, sizeof text, "%.1f ns", ns);
    } else if (ns < 1e6) {
        std::snprintf(text, sizeof text, "%.2f us", ns / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.2f ms", ns / 1e6);
    }
    return text;
}

// Console output as usual, plus the per-iteration time of every plain run.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, SideResult> results;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) {
                continue;
            }
            SideResult& side = results[run.benchmark_name()];
            if (run.error_occurred) {
                side.failed = true;
                side.message = run.error_message;
                continue;
            }
            side.ns_per_iteration = to_ns(run.GetAdjustedRealTime(), run.time_unit);
        }
    }
};

void run_side(benchmark::State& state, PairCase* pair, bool ours) {
    if (pair->verdict.empty()) {
        std::string difference = pair->verify ? pair->verify() : std::string();
        pair->verdict = difference.empty() ? "ok" : difference;
    }
    if (pair->verdict != "ok") {
        state.SkipWithError(("results differ: " + pair->verdict).c_str());
        for (auto _ : state) {
        }
        return;
    }
    if (ours) {
        pair->ours(state);
    } else {
        pair->reference(state);
    }
}

} // namespace

void bench_register_pair(const std::string& case_name, double target, std::function<std::string()> verify,
                         std::function<void(benchmark::State&)> ours,
                         std::function<void(benchmark::State&)> reference) {
    auto pair = std::make_unique<PairCase>();
    pair->name = case_name;
    pair->target = target;
    pair->verify = std::move(verify);
    pair->ours = std::move(ours);
    pair->reference = std::move(reference);
    PairCase* raw = pair.get();
    cases().push_back(std::move(pair));
    benchmark::RegisterBenchmark((case_name + "/ours").c_str(),
                                 [raw](benchmark::State& state) { run_side(state, raw, true); });
    benchmark::RegisterBenchmark((case_name + "/ref").c_str(),
                                 [raw](benchmark::State& state) { run_side(state, raw, false); });
}

void bench_note(const std::string& key, const std::string& line) {
    for (auto& note : notes()) {
        if (note.first == key) {
            note.second = line;
            return;
        }
    }
    notes().emplace_back(key, line);
}

int bench_main(int argc, char** argv, const char* title) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    int status = 0;
    std::printf("\n== %s: reference time / our time (above 1: ours faster) ==\n", title);
    for (const auto& pair : cases()) {
        auto ours = reporter.results.find(pair->name + "/ours");
        auto reference = reporter.results.find(pair->name + "/ref");
        if (ours == reporter.results.end() || reference == reporter.results.end()) {
            continue; // filtered out on the command line
        }
        if (pair->verdict != "ok" && !pair->verdict.empty()) {
            std::printf("RATIO %-44s DIFFERS: %s\n", pair->name.c_str(), pair->verdict.c_str());
            status = 1;
            continue;
        }
        if (ours->second.failed || reference->second.failed || ours->second.ns_per_iteration <= 0) {
            std::printf("RATIO %-44s FAILED: %s%s\n", pair->name.c_str(), ours->second.message.c_str(),
                        reference->second.message.c_str());
            status = 1;
            continue;
        }
        double ratio = reference->second.ns_per_iteration / ours->second.ns_per_iteration;
        const char* verdict = pair->target <= 0 ? "info" : (ratio >= pair->target ? "PASS" : "MISS");
        char target[16] = "-";
        if (pair->target > 0) {
            std::snprintf(target, sizeof target, ">=%.2f", pair->target);
        }
        std::printf("RATIO %-44s ours %10s  ref %10s  ratio %6.2f  target %-6s %s\n", pair->name.c_str(),
                    human_time(ours->second.ns_per_iteration).c_str(),
                    human_time(reference->second.ns_per_iteration).c_str(), ratio, target, verdict);
    }
    for (const auto& note : notes()) {
        std::printf("NOTE %s\n", note.second.c_str());
    }
    std::fflush(stdout);
    return status;
}
