#include "drive_report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

namespace drivecat {
namespace {

const char* Family(unsigned pid) {
  if (cArdoModelLookup::IsVantorK(pid)) return "Vantor K";
  if (cArdoModelLookup::IsVantorQZ(pid)) return "Vantor QZ";
  return "";
}

std::string Text(const CString& text) { return static_cast<const char*>(text); }

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::string JsonOrNull(const std::string& text) { return text.empty() ? "null" : JsonString(text); }

}  // namespace

DriveRow DriveCatalogue::RowAt(POSITION pos) {
  DriveRow row;
  row.position = reinterpret_cast<std::uintptr_t>(pos);
  row.pid = GetCurrentPID(pos);
  int present = 1;
  // 65535 is also what a drive without an identifier reads as.
  if (row.pid == 65535u) _GetDriveAttribute(pos, "PID", &present);
  row.hasPid = present != 0;
  const CString model = GetCurrentName(pos);
  row.model = Text(model);
  if (row.hasPid) {
    // What LookupPlatform and LookupQMFrameSize answer for this PID when
    // this is the first drive with it (Rows sees to the others).
    row.platform = Text(ardo::PlatformOfModel(model));
    row.frame = Text(ardo::FrameSizeOfModel(model));
    row.family = Family(row.pid);
  }
  const CString volts = _GetDriveAttribute(pos, "volts", &present);
  row.hasVolts = present != 0;
  row.volts = std::atoi(static_cast<const char*>(volts));  // as LookupPID reads it
  row.amps = GetDriveContinuousCurrent(pos);
  row.peakAmps = GetDrivePeakCurrent(pos);
  return row;
}

std::vector<DriveRow> DriveCatalogue::Rows() {
  std::vector<DriveRow> rows;
  const int count = GetDriveCount();
  // Counted rather than run to NULL: after the last drive the walk stands one
  // past the end, which is not NULL but is no drive either.
  POSITION pos = GetFirstDevice();
  for (int i = 0; i < count && pos != nullptr; ++i, GetNextDevice(pos)) rows.push_back(RowAt(pos));
  // A look-up by PID answers for the first drive with that PID, so a later
  // drive with the same PID shows that drive's platform and frame size. One
  // pass, rather than a look-up (a read of the whole list) per row.
  std::unordered_map<unsigned, const DriveRow*> first;
  for (DriveRow& row : rows) {
    if (!row.hasPid) continue;
    auto [it, inserted] = first.emplace(row.pid, &row);
    if (inserted) continue;
    row.platform = it->second->platform;
    row.frame = it->second->frame;
  }
  return rows;
}

bool DriveCatalogue::RatingHasPid255(unsigned volts, unsigned amps) {
  const int count = GetDriveCount();
  POSITION pos = GetFirstDevice();
  for (int i = 0; i < count && pos != nullptr; ++i, GetNextDevice(pos)) {
    int hasVolts = 0, hasAmps = 0, hasPid = 0;
    const CString v = _GetDriveAttribute(pos, "volts", &hasVolts);
    const CString a = _GetDriveAttribute(pos, "amps", &hasAmps);
    _GetDriveAttribute(pos, "PID", &hasPid);
    if (hasVolts && hasAmps && hasPid && static_cast<unsigned>(std::atoi(static_cast<const char*>(v))) == volts &&
        static_cast<unsigned>(std::atoi(static_cast<const char*>(a))) == amps)
      return GetCurrentPID(pos) == 255u;
  }
  return false;
}

std::string FormatPosition(std::uintptr_t position) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(position));
  return text;
}

std::string FormatAmperes(float amperes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(amperes));
  return text;
}

std::string JsonString(const std::string& text) {
  // A round trip through UTF-16 replaces invalid UTF-8 with U+FFFD.
  const std::string clean = ardo::Utf16ToUtf8(ardo::Utf8ToUtf16(text));
  std::string out = "\"";
  for (unsigned char c : clean) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04X", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string RowJson(const DriveRow& row) {
  std::string json = "{\"position\":" + JsonString(FormatPosition(row.position));
  json += ",\"pid\":" + (row.hasPid ? std::to_string(row.pid) : std::string("null"));
  json += ",\"model\":" + JsonString(row.model);
  json += ",\"platform\":" + JsonOrNull(row.platform);
  json += ",\"frame\":" + JsonOrNull(row.frame);
  json += ",\"volts\":" + (row.hasVolts ? std::to_string(row.volts) : std::string("null"));
  json += ",\"amps\":" + FormatAmperes(row.amps);
  json += ",\"peak_amps\":" + FormatAmperes(row.peakAmps);
  json += ",\"family\":" + JsonOrNull(row.family);
  return json + "}";
}

namespace {

// The columns a cell takes on a terminal: one per character, not per byte
// (UTF-8 continuation bytes take none).
std::size_t Columns(const std::string& text) {
  std::size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

void PrintTable(std::ostream& out, const std::vector<DriveRow>& rows) {
  const std::vector<std::string> header = {"POSITION", "PID", "MODEL", "PLATFORM", "FRAME",
                                           "VOLTS", "AMPS", "PEAK", "FAMILY"};
  // Numbers are right-aligned, words left-aligned.
  const std::vector<bool> right = {false, true, false, false, false, true, true, true, false};
  std::vector<std::vector<std::string>> cells;
  for (const DriveRow& row : rows) {
    cells.push_back({FormatPosition(row.position), row.hasPid ? std::to_string(row.pid) : "-", OrDash(row.model),
                     OrDash(row.platform), OrDash(row.frame), row.hasVolts ? std::to_string(row.volts) : "-",
                     FormatAmperes(row.amps), FormatAmperes(row.peakAmps), OrDash(row.family)});
  }
  std::vector<std::size_t> width(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) {
    width[c] = Columns(header[c]);
    for (const auto& line : cells) width[c] = std::max(width[c], Columns(line[c]));
  }
  auto print = [&](const std::vector<std::string>& line) {
    std::string text;
    for (std::size_t c = 0; c < line.size(); ++c) {
      const std::string pad(width[c] - Columns(line[c]), ' ');
      if (c + 1 == line.size()) text += line[c];  // no trailing blanks
      else text += (right[c] ? pad + line[c] : line[c] + pad) + "  ";
    }
    out << text << '\n';
  };
  print(header);
  for (const auto& line : cells) print(line);
}

}  // namespace drivecat
