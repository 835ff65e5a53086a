// drivecat: the drive model catalogue on the command line. Every answer comes
// from cArdoModelLookup; see `drivecat --help`.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <ardoxml/ardoxml.h>

#include "catalogue/ardo_model_lookup.h"
#include "command_line.h"
#include "drive_report.h"

namespace drivecat {
namespace {

constexpr int kFound = 0;
constexpr int kNotFound = 1;
constexpr int kFailed = 2;

void Fail(const std::string& message) { std::cerr << "drivecat: " << message << '\n'; }

std::string Trimmed(const CString& text) {
  std::string s = static_cast<const char*>(text);
  while (!s.empty() && std::strchr(" \t\r\n", s.back())) s.pop_back();
  return s;
}

// The catalogue reports only that a file did not load; the reason comes from
// loading it once more into a document of our own and reading its parse error.
// True for "file:...", "http://..." and the like: a scheme before any slash.
bool IsUrl(const std::string& path) {
  const std::size_t colon = path.find(':');
  if (colon == std::string::npos || colon < 2 || path.find('/') < colon) return false;
  for (std::size_t i = 0; i < colon; ++i)
    if (!std::isalpha(static_cast<unsigned char>(path[i]))) return false;
  return true;
}

void ReportLoadFailure(const std::string& path) {
  // A file that cannot be opened says why in the system's words.
  if (!IsUrl(path)) {
    std::ifstream probe(path);
    if (!probe) {
      Fail("cannot open " + path + ": " + std::strerror(errno));
      return;
    }
  }
  CXMLDOMDocument2 document = CDOMDocument40Class::CreateXMLDOMDocument2(nullptr, CLSCTX_ALL);
  document.SetAsync(0);
  document.SetPreserveWhiteSpace(1);
  if (document.Load(_variant_t(path.c_str()))) {
    Fail("cannot load " + path);
    return;
  }
  CXMLDOMParseError error = document.GetParseError();
  std::string reason = Trimmed(error.GetReason());
  std::replace(reason.begin(), reason.end(), '\n', ' ');  // one line on stderr
  // Line 0 means the failure has no place in the text (a folder, say).
  const std::string where = error.GetLine() > 0 ? "line " + std::to_string(error.GetLine()) + ", column " +
                                                      std::to_string(error.GetLinepos()) + ": "
                                                : "";
  Fail("cannot load " + path + ": " + where + (reason.empty() ? "the document did not load" : reason));
}

int NotFound(const std::string& message) {
  Fail(message);
  return kNotFound;
}

int List(DriveCatalogue& drives, const CommandLine& line, const std::string& path) {
  const std::vector<DriveRow> rows = drives.Rows();
  if (!line.json) {
    PrintTable(std::cout, rows);
    return kFound;
  }
  std::cout << "{\"file\":" << JsonString(path) << ",\"count\":" << rows.size() << ",\"drives\":[";
  for (std::size_t i = 0; i < rows.size(); ++i) std::cout << (i ? ",\n" : "\n") << RowJson(rows[i]);
  std::cout << "\n]}\n";
  return kFound;
}

int Lookup(DriveCatalogue& drives, const CommandLine& line) {
  const unsigned volts = line.volts;
  // The readings of AMPS in hundredths: as amperes first, then as written.
  std::vector<unsigned> readings;
  if (line.ampsInAmperes) readings.push_back(line.amps);
  if (line.ampsAsWritten && !(line.ampsInAmperes && *line.ampsAsWritten == line.amps))
    readings.push_back(*line.ampsAsWritten);
  unsigned amps = readings.front(), pid = 255u;
  bool found = false;
  for (unsigned reading : readings) {
    pid = drives.LookupPID(volts, reading);
    found = pid != 255u || drives.RatingHasPid255(volts, reading);
    if (found) {
      amps = reading;
      break;
    }
  }
  if (line.json)
    std::cout << "{\"volts\":" << volts << ",\"amps\":" << FormatHundredths(amps) << ",\"pid\":"
              << (found ? std::to_string(pid) : "null") << "}\n";
  else if (found)
    std::cout << pid << '\n';
  return found ? kFound
               : NotFound("no drive rated " + std::to_string(volts) + " V, " + FormatHundredths(amps) + " A");
}

int Platform(DriveCatalogue& drives, const CommandLine& line) {
  const unsigned pid = line.pid;
  const std::string platform = static_cast<const char*>(drives.LookupPlatform(pid));
  if (line.json)
    std::cout << "{\"pid\":" << pid << ",\"platform\":" << (platform.empty() ? "null" : JsonString(platform)) << "}\n";
  else if (!platform.empty())
    std::cout << platform << '\n';
  return platform.empty() ? NotFound("no drive with PID " + std::to_string(pid)) : kFound;
}

int Frame(DriveCatalogue& drives, const CommandLine& line) {
  const unsigned pid = line.pid;
  const std::string frame = static_cast<const char*>(drives.LookupQMFrameSize(pid));
  if (line.json)
    std::cout << "{\"pid\":" << pid << ",\"frame\":" << (frame.empty() ? "null" : JsonString(frame)) << "}\n";
  else if (!frame.empty())
    std::cout << frame << '\n';
  if (!frame.empty()) return kFound;
  return NotFound(drives.FindPID(pid) ? "the drive with PID " + std::to_string(pid) + " has no model name"
                                      : "no drive with PID " + std::to_string(pid));
}

int Find(DriveCatalogue& drives, const CommandLine& line) {
  const unsigned pid = line.pid;
  POSITION pos = drives.FindPID(pid);
  if (line.json) {
    std::cout << "{\"pid\":" << pid << ",\"position\":";
    if (pos)
      std::cout << JsonString(FormatPosition(reinterpret_cast<std::uintptr_t>(pos))) << ",\"drive\":"
                << RowJson(drives.RowAt(pos)) << "}\n";
    else
      std::cout << "null,\"drive\":null}\n";
  } else if (pos) {
    PrintTable(std::cout, {drives.RowAt(pos)});
  }
  return pos ? kFound : NotFound("no drive with PID " + std::to_string(pid));
}

int Run(const CommandLine& line) {
  const std::string path = line.file.empty() ? DefaultDriveList() : line.file;
  DriveCatalogue drives;
  if (drives.LoadDocument(path.c_str()) != S_OK) {
    ReportLoadFailure(path);
    return kFailed;
  }
  if (line.command == "list") return List(drives, line, path);
  if (line.command == "count") {
    const int count = drives.GetDriveCount();
    if (line.json) std::cout << "{\"count\":" << count << "}\n";
    else std::cout << count << '\n';
    return kFound;
  }
  if (line.command == "lookup") return Lookup(drives, line);
  if (line.command == "platform") return Platform(drives, line);
  if (line.command == "frame") return Frame(drives, line);
  return Find(drives, line);
}

int Usage(const std::string& message) {
  Fail(message);
  std::cerr << "Try 'drivecat --help' for more information.\n";
  return kFailed;
}

}  // namespace
}  // namespace drivecat

int main(int argc, char** argv) {
  using namespace drivecat;
  CommandLine line;
  try {
    line = ParseCommandLine(argc, argv);
  } catch (const UsageError& e) {
    return Usage(e.what());
  }
  if (line.help) {
    std::cout << UsageText();
    return kFound;
  }

  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(init)) {
    Fail(std::string("cannot initialise COM: ") + ardo::HResultName(init));
    return kFailed;
  }
  int status = kFailed;
  try {
    status = Run(line);
  } catch (CComException* e) {
    Fail(std::string("the XML engine failed: ") + ardo::HResultName(e->m_hr));
    e->Delete();
  } catch (COleException* e) {
    Fail(std::string("the XML engine failed: ") + ardo::HResultName(e->m_sc));
    e->Delete();
  } catch (CException* e) {
    Fail("out of memory");
    e->Delete();
  } catch (const _com_error& e) {
    Fail(std::string("text conversion failed: ") + ardo::HResultName(e.Error()));
  }
  std::cout.flush();
  CoUninitialize();
  return status;
}
