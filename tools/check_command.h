// qelt-update --check: judges a package without a device (TPackageCheck, to the
// end at once) and prints its findings, as lines or as JSON objects. Plain C++;
// used by qelt_update_main.cpp and its tests.
#pragma once

#include <ostream>
#include <string>

// Checks the package of `script` (as a run is given it) and writes every finding
// to `out`, then a summary: one line, or with `json` one object per finding and a
// closing {"event":"check",...}. Returns the exit status: 0 when the package can
// run, 1 when it cannot.
int RunCheckCommand(const std::string& script, bool json, std::ostream& out);
