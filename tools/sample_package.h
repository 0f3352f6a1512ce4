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

// The same package at the sizes of a real firmware release, for the end-to-end
// speed benchmark: every flash bank image fills its 32 KiB bank, both boot images
// fill the 8 KiB boot area and every Effect file holds about 1 MiB. The scripts
// and versions are the sample package's. Not committed: about 18 MiB.
std::vector<TPackageFile> BuildFullSizePackage();
