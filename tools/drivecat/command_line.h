// drivecat's command line: options, the command and its arguments, and the
// number formats the commands accept.
#pragma once

#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

namespace drivecat {

struct CommandLine {
  bool help = false;
  bool json = false;
  std::string file;  // empty: the default drive list
  std::string command;
  std::vector<std::string> args;
  // The arguments as numbers: `pid` for platform, frame and find; `volts`
  // and `amps` (hundredths of an ampere) for lookup.
  unsigned pid = 0;
  unsigned volts = 0;
  unsigned amps = 0;
  bool ampsInAmperes = false;  // AMPS read as amperes (it may be too large to)
  // A whole-number AMPS is also the file's own hundredths, tried when no
  // drive has that many amperes.
  std::optional<unsigned> ampsAsWritten;
};

// A command line drivecat cannot run; the message says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws UsageError. Options may stand anywhere before "--"; the first
// positional word is the drive list when it is not a command name and more
// words follow.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// The --help text.
const char* UsageText();

// A decimal number of at most 4294967295, digits only.
bool ParseUnsigned(const std::string& text, unsigned& value);
// Amperes with at most two decimals ("12.5", "12.50", "7", "0.75"; further
// decimals only if they are zeros), as hundredths: "12.5" gives 1250.
bool ParseAmperes(const std::string& text, unsigned& hundredths);
// Hundredths of an ampere as amperes with two decimals: 1250 gives "12.50".
std::string FormatHundredths(unsigned hundredths);

// The drive list used when none is named: $ARDOXML_DRIVES if set and not
// empty, else the sample in the source tree if it exists, else the installed
// sample.
std::string DefaultDriveList();

}  // namespace drivecat
