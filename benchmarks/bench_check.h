// Failure reporting for the benchmarks: a benchmark that finds the work it timed
// did not succeed (an engine error, a device that holds other data) marks itself
// failed here; the binary then exits non-zero, so the smoke run catches it.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

// Skips the rest of the benchmark with `why` and remembers the failure.
void FailBenchmark(benchmark::State& state, const std::string& why);

// True once any benchmark has failed.
bool AnyBenchmarkFailed();
