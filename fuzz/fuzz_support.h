// What the libFuzzer harnesses share: the invariant check that stops a run with the
// harness's file and line (libFuzzer then keeps the input as a crash), the
// sanitizer's options, and the private folder for the files a harness needs,
// written once per process.
// Header-only; harnesses only (fuzz/*_fuzz.cpp). Single-threaded.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "testing/temp_dir.h"

// What a harness says about the state it is in, printed with a failed invariant
// (empty: nothing).
inline std::function<std::string()>& FuzzContext() {
  static std::function<std::string()> context;
  return context;
}

// Stops the fuzzer with a report: an invariant of the code under test does not
// hold for this input. Called through FUZZ_REQUIRE.
[[noreturn]] inline void InvariantFailed(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: invariant failed: %s\n", file, line, what);
  if (FuzzContext()) std::fprintf(stderr, "  %s\n", FuzzContext()().c_str());
  std::fflush(stderr);
  std::abort();
}

// FUZZ_REQUIRE(ok, "what must hold"): stops the fuzzer unless `ok`. A macro only for the
// file and line (clang 14 has no std::source_location).
#define FUZZ_REQUIRE(ok, what)                            \
  do {                                                    \
    if (!(ok)) InvariantFailed(__FILE__, __LINE__, what); \
  } while (false)

// ASan keeps freed memory out of use (its quarantine) until this much more was
// freed, to catch a use after free. The default of 256 MiB hands every allocation
// fresh memory: page faults took a quarter to half of the time of a run. 16 MiB is
// still more than most harnesses free in one input; a harness that frees less may
// define QELT_FUZZ_ASAN_OPTIONS before including this header.
#ifndef QELT_FUZZ_ASAN_OPTIONS
#define QELT_FUZZ_ASAN_OPTIONS "quarantine_size_mb=16"
#endif
extern "C" const char* __asan_default_options() { return QELT_FUZZ_ASAN_OPTIONS; }

// The process's private folder, created on first use and removed at exit.
inline const TTempDir& FuzzFolder() {
  static const TTempDir folder;
  return folder;
}
