// Shared frame of the benchmark programs: each measured case is a pair of
// Google Benchmark runs named "<case>/ours" and "<case>/ref"; after all runs
// the program prints one RATIO line per case (reference time / our time,
// above 1 means ours is faster) with the case's target and PASS or MISS.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <string>

// Registers the pair of a case. Each function gets the benchmark state and
// must run the timed loop itself; verify runs once before either is timed
// and returns an empty string when both sides gave the same result, or a
// description of the difference (both runs are then skipped and the case
// shows DIFFERS). A target of 0 reports the ratio without a verdict.
void bench_register_pair(const std::string& case_name, double target, std::function<std::string()> verify,
                         std::function<void(benchmark::State&)> ours, std::function<void(benchmark::State&)> reference);

// Sets the line printed under the ratio table for key (measurement notes,
// counters); a later call with the same key replaces the line, so a
// benchmark that runs several times leaves the note of its last run.
void bench_note(const std::string& key, const std::string& line);

// Runs every registered benchmark with the command line's options and prints
// the ratio table headed by title. Returns the process exit status: 0 when
// every verification passed (missed targets do not fail the run), 1 when a
// verification failed.
int bench_main(int argc, char** argv, const char* title);

// Keeps the optimiser from dropping a computed value.
template <typename T> inline void bench_keep(T&& value) {
    benchmark::DoNotOptimize(value);
}
