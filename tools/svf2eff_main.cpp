// qelt-svf2eff: converts a vendor's SVF file into an Effect file for a firmware
// package. A thin shell around ConvertSvf (svf_convert.h): the command line, the
// files (through the one file-access helper; the output replaced atomically) and
// the messages. See Usage() for the command line.
#include <charconv>
#include <iostream>
#include <string>
#include <vector>

#include "engines/file_access.h"
#include "platform/utf8_console.h"
#include "tools/svf_convert.h"

namespace {

constexpr int kExitConverted = 0;  // written
constexpr int kExitRefused = 1;    // the SVF holds what the Effect language cannot express
constexpr int kExitUsage = 2;      // bad command line, unreadable input, unwritable output

const char kUsage[] = R"(NAME
    qelt-svf2eff - convert an SVF file into an Effect file

SYNOPSIS
    qelt-svf2eff [--tck-hz HZ] [--keep-comments] [--quiet] INPUT [OUTPUT]
    qelt-svf2eff --help | --version

DESCRIPTION
    Reads INPUT, a Serial Vector Format (SVF) file as JTAG tools write it, and
    writes OUTPUT, an Effect file: the one-statement-per-line language that the
    updater's JTAG engine plays ("P8 file", "P9 file", "PA file", "PC file" in a
    card script). Without OUTPUT, or with "-", the Effect file goes to standard
    output. OUTPUT is written only when the whole file converts, and replaced in
    one step, so an earlier file is never left half written. Lines end with CR LF.

    Every statement becomes one line:
      SIR, SDR          TDI, and TDO with MASK when the statement compares, written
                        in full: SVF repeats TDI, MASK and SMASK from the last
                        statement of the same kind and length, the Effect language
                        does not. SMASK is applied to TDI. MASK also hides the
                        padding bits of the last byte.
      HIR, TIR,         dropped with a note when their length is 0; otherwise folded
      HDR, TDR          into every SIR (HIR, TIR) or SDR (HDR, TDR) that follows: the
                        header's bits are shifted first, the trailer's last, as one
                        statement.
      RUNTEST           "RUNTEST state count TCK;" in clocks. A time in seconds is
                        turned into clocks with --tck-hz (the larger of count and time
                        is kept); MAXIMUM is dropped with a note; an end state other
                        than the run state adds a "STATE end;" line. Run and end
                        states carry to later RUNTESTs, as in SVF.
      ENDIR, ENDDR,     kept as they are.
      STATE, TRST
      FREQUENCY         dropped with a note.
    Statements that span lines are joined; "!" and "//" comments and blank lines
    are dropped (kept as "//" lines with --keep-comments).

    Refused, with the reason: a shift longer than 512 bits once its header and
    trailer are added, a shift of 0 bits, PIO and PIOMAP, counts of the system
    clock (SCK), a RUNTEST time without --tck-hz, and anything that is not SVF.
    Every refused statement is reported, each as FILE:LINE: reason, and nothing
    is written.

OPTIONS
    --tck-hz HZ       the clock of the device's JTAG chain in hertz, for RUNTEST
                      times (for example 1000000)
    --keep-comments   keep comments, as "//" lines
    --quiet           do not print the notes
    --help            show this text
    --version         show the program's version

OUTPUT
    Notes (FILE:LINE: note: text) and refusals (FILE:LINE: text) go to standard
    error, in the order of the statements they concern.

EXIT STATUS
    0  converted and written
    1  refused: the file holds statements the Effect language cannot express
    2  bad command line, INPUT cannot be read or OUTPUT cannot be written

EXAMPLES
    qelt-svf2eff --tck-hz 1000000 cpld.svf rev1/VI3/VI3_CPLD.svf
    qelt-svf2eff prom.svf > prom.eff
    qelt-update --check package/script.ini    # then check the package that names it
)";

struct TArgs {
  std::string Input, Output;
  TSvfOptions Options;
  bool Quiet = false;
};

int UsageError(const std::string& text) {
  std::cerr << "qelt-svf2eff: " << text << "\nTry 'qelt-svf2eff --help'.\n";
  return kExitUsage;
}

// False with `error` for a bad command line; `done` when --help or --version ran.
bool ParseArgs(const std::vector<std::string>& argv, TArgs& args, std::string& error, bool& done) {
  std::vector<std::string> files;
  const size_t argc = argv.size();
  for (size_t i = 0; i < argc; ++i) {
    const std::string& arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      done = true;
      return true;
    }
    if (arg == "--version") {
      std::cout << "qelt-svf2eff " << QELT_VERSION << "\n";
      done = true;
      return true;
    }
    if (arg == "--keep-comments") {
      args.Options.KeepComments = true;
    } else if (arg == "--quiet") {
      args.Quiet = true;
    } else if (arg == "--tck-hz" || arg.starts_with("--tck-hz=")) {
      std::string value = arg.size() > 8 ? arg.substr(9) : (i + 1 < argc ? argv[++i] : "");
      const auto r = std::from_chars(value.data(), value.data() + value.size(), args.Options.TckHz);
      if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() ||
          args.Options.TckHz == 0) {
        error = "--tck-hz takes a whole number of hertz greater than 0";
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option '" + arg + "'";
      return false;
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty() || files.size() > 2) {
    error = files.empty() ? "no INPUT file" : "too many files";
    return false;
  }
  args.Input = files[0];
  args.Output = files.size() == 2 ? files[1] : "-";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TArgs args;
  std::string error;
  bool done = false;
  UseUtf8Console();
  if (!ParseArgs(Utf8Arguments(argc, argv), args, error, done)) return UsageError(error);
  if (done) return kExitConverted;

  std::vector<std::string> lines;
  if (!LoadTextLines(args.Input, lines, &error)) {
    std::cerr << "qelt-svf2eff: cannot read " << args.Input << ": " << error << "\n";
    return kExitUsage;
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const TSvfConversion conversion = ConvertSvf(text, args.Options);

  if (!args.Quiet) {
    for (const TSvfMessage& note : conversion.Notes) {
      std::cerr << FormatSvfNote(args.Input, note) << "\n";
    }
  }
  for (const TSvfMessage& refusal : conversion.Refusals) {
    std::cerr << FormatSvfRefusal(args.Input, refusal) << "\n";
  }
  if (!conversion.Ok()) {
    std::cerr << "qelt-svf2eff: " << conversion.Refusals.size()
              << " statement(s) cannot be expressed in the Effect language; nothing written\n";
    return kExitRefused;
  }
  if (args.Output == "-") {
    for (const std::string& line : conversion.Lines) std::cout << line << "\r\n";
    return std::cout.good() ? kExitConverted : kExitUsage;
  }
  if (!SaveTextLines(args.Output, conversion.Lines, &error)) {
    std::cerr << "qelt-svf2eff: cannot write " << args.Output << ": " << error << "\n";
    return kExitUsage;
  }
  return kExitConverted;
}
