// What the libFuzzer harnesses share: the invariant check that stops a run with the
// harness's file and line (libFuzzer then keeps the input as a crash), and the
// private folder for the files a harness needs, written once per process.
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

// The process's private folder, created on first use and removed at exit.
inline const TTempDir& FuzzFolder() {
  static const TTempDir folder;
  return folder;
}
