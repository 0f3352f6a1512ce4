// The sample firmware package (examples/package): both revision trees with their
// update and identification scripts, boot images, card scripts, flash bank images,
// Effect files and the display identification upload. Built in memory from the
// tables in sample_package.cpp; qelt-make-package writes it, the tests check it.
// Deterministic: the same bytes on every run and every platform.
#pragma once

#include <string>
#include <vector>

struct TPackageFile {
  std::string Path;   // relative to the package folder, '/' separated
  std::string Bytes;  // the whole file
};

// Every file of the package, sorted by path.
std::vector<TPackageFile> BuildSamplePackage();
