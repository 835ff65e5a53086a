#include "command_line.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace drivecat {
namespace {

// Each command and the number of arguments it takes.
const std::map<std::string, std::size_t>& Commands() {
  static const std::map<std::string, std::size_t> commands = {
      {"list", 0}, {"count", 0}, {"lookup", 2}, {"platform", 1}, {"frame", 1}, {"find", 1}};
  return commands;
}

const char* ArgumentNames(const std::string& command) {
  if (command == "lookup") return "VOLTS AMPS";
  if (command == "list" || command == "count") return "no arguments";
  return "PID";
}

}  // namespace

const char* UsageText() {
  return "Usage: drivecat [OPTIONS] [DRIVE_LIST] COMMAND [ARGS]\n"
         "\n"
         "Answers questions about a drive list, an XML file of <drive> elements\n"
         "under <drive_list>, through the drive model catalogue.\n"
         "\n"
         "Commands:\n"
         "  list               every drive: position, PID, model, platform, frame size,\n"
         "                     volts, continuous and peak current in amperes, family\n"
         "  count              the number of drives\n"
         "  lookup VOLTS AMPS  the PID of the first drive with that rating; AMPS is in\n"
         "                     amperes with at most two decimals (12.5 means 12.50 A,\n"
         "                     the file's amps=\"1250\"); a whole number that no drive\n"
         "                     has in amperes is tried as the file's hundredths\n"
         "                     (1250 then finds amps=\"1250\")\n"
         "  platform PID       VTX (model name starts with \"V\") or QM\n"
         "  frame PID          the frame size: first character of the model name\n"
         "  find PID           the position of the first drive with that PID, and the drive\n"
         "\n"
         "Options:\n"
         "  -f, --file PATH    read the drive list at PATH (or give PATH before COMMAND)\n"
         "  -j, --json         print JSON instead of text\n"
         "  -h, --help         print this help\n"
         "  --                 end of options\n"
         "\n"
         "Without a drive list, drivecat reads $ARDOXML_DRIVES, or else the bundled\n"
         "sample drives.xml. VOLTS and PID are decimal integers. Positions are shown\n"
         "as the catalogue hands them out: 0xF000 for the first drive, 0xF001 for the\n"
         "next, and so on.\n"
         "\n"
         "Exit status: 0 success; 1 the look-up found nothing; 2 a usage error, a\n"
         "drive list that does not load (the parse error's reason, line and column\n"
         "go to stderr) or an engine failure.\n";
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  std::vector<std::string> words;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      words.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      line.help = true;
    } else if (arg == "-j" || arg == "--json") {
      line.json = true;
    } else if (arg == "-f" || arg == "--file" || arg.rfind("--file=", 0) == 0) {
      std::string path;
      if (arg.rfind("--file=", 0) == 0) {
        path = arg.substr(7);
      } else if (i + 1 < argc) {
        path = argv[++i];
      } else {
        throw UsageError("option " + arg + " needs a PATH");
      }
      if (path.empty()) throw UsageError("option --file needs a non-empty PATH");
      if (!line.file.empty()) throw UsageError("more than one drive list given");
      line.file = path;
    } else {
      throw UsageError("unknown option '" + arg + "'");
    }
  }
  if (line.help) return line;

  std::size_t next = 0;
  if (next < words.size() && !Commands().count(words[next]) && next + 1 < words.size() && line.file.empty()) {
    line.file = words[next++];
    if (line.file.empty()) throw UsageError("the drive list path is empty");
  }
  if (next == words.size()) throw UsageError("no command given");
  line.command = words[next++];
  const auto command = Commands().find(line.command);
  if (command == Commands().end()) throw UsageError("unknown command '" + line.command + "'");
  line.args.assign(words.begin() + static_cast<std::ptrdiff_t>(next), words.end());
  if (line.args.size() != command->second)
    throw UsageError("'" + line.command + "' takes " + ArgumentNames(line.command) + ", got " +
                     std::to_string(line.args.size()) + " argument" + (line.args.size() == 1 ? "" : "s"));
  if (line.command == "lookup") {
    if (!ParseUnsigned(line.args[0], line.volts))
      throw UsageError("VOLTS must be a decimal number, not '" + line.args[0] + "'");
    unsigned whole = 0;
    if (ParseUnsigned(line.args[1], whole)) line.ampsAsWritten = whole;
    line.ampsInAmperes = ParseAmperes(line.args[1], line.amps);
    if (!line.ampsInAmperes && !line.ampsAsWritten)
      throw UsageError("AMPS must be amperes with at most two decimals, not '" + line.args[1] + "'");
  } else if (line.args.size() == 1 && !ParseUnsigned(line.args[0], line.pid)) {
    throw UsageError("PID must be a decimal number, not '" + line.args[0] + "'");
  }
  return line;
}

bool ParseUnsigned(const std::string& text, unsigned& value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<unsigned>(c - '0');
  }
  if (result > 0xFFFFFFFFu) return false;
  value = static_cast<unsigned>(result);
  return true;
}

bool ParseAmperes(const std::string& text, unsigned& hundredths) {
  const std::size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  if (point != std::string::npos && fraction.empty()) return false;  // "12." is a typo, not 12
  for (char c : fraction)
    if (c < '0' || c > '9') return false;
  while (fraction.size() > 2 && fraction.back() == '0') fraction.pop_back();
  if (fraction.size() > 2) return false;  // finer than the file can say
  fraction.resize(2, '0');
  unsigned amperes = 0, cents = 0;
  if (whole.empty() && point == std::string::npos) return false;          // ""
  if (!whole.empty() && !ParseUnsigned(whole, amperes)) return false;     // ".5" is 0.50
  ParseUnsigned(fraction, cents);
  const std::uint64_t total = std::uint64_t{amperes} * 100 + cents;
  if (total > 0xFFFFFFFFu) return false;
  hundredths = static_cast<unsigned>(total);
  return true;
}

std::string FormatHundredths(unsigned hundredths) {
  const unsigned cents = hundredths % 100;
  return std::to_string(hundredths / 100) + (cents < 10 ? ".0" : ".") + std::to_string(cents);
}

std::string DefaultDriveList() {
  if (const char* env = std::getenv("ARDOXML_DRIVES"); env && *env) return env;
  std::error_code ignored;
  if (std::filesystem::exists(ARDO_SOURCE_SAMPLE_DRIVES, ignored)) return ARDO_SOURCE_SAMPLE_DRIVES;
  return ARDO_SAMPLE_DRIVES;
}

}  // namespace drivecat
