#include "tools/check_command.h"

#include "app/package_check.h"
#include "tools/runner_output.h"

namespace {

std::string Count(size_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

int RunCheckCommand(const std::string& script, bool json, std::ostream& out) {
  TPackageCheck check(script);
  check.Run();
  const size_t errors = check.ErrorCount();
  const size_t warnings = check.WarningCount();
  const int exit_code = errors == 0 ? 0 : 1;
  for (const TFinding& finding : check.Findings()) {
    out << (json ? FindingJson(finding) : FormatFinding(finding)) << '\n';
  }
  if (json) {
    out << "{\"event\":\"check\",\"script\":" << JsonQuote(script) << ",\"errors\":" << errors
        << ",\"warnings\":" << warnings << ",\"exit\":" << exit_code << "}\n";
  } else {
    out << script << ": " << Count(errors, "error") << ", " << Count(warnings, "warning") << ": "
        << (errors == 0 ? "the package can run" : "the package cannot run") << '\n';
  }
  out.flush();
  return exit_code;
}
