#include "support/drive_documents.h"

#include <cstdio>

namespace ardo::bench {
namespace {

void AppendDrive(std::string* xml, int i) {
  char buf[384];
  int n = std::snprintf(buf, sizeof buf,
                        "    <drive PID=\"%d\" model=\"%c%03d-%d\" volts=\"%d\" amps=\"%d\" peakamps=\"%d\">"
                        "<name>Drive %d</name><rating frame=\"%d\" class=\"%c\"/></drive>\n",
                        i, i % 3 ? 'V' : 'Q', i % 1000, i % 7, 200 + (i % 5) * 100, 100 + (i * 37) % 5000,
                        200 + (i * 53) % 9000, i, i % 9, 'A' + i % 4);
  xml->append(buf, size_t(n));
}

std::string Header() { return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalogue>\n  <drive_list>\n"; }
const char kFooter[] = "  </drive_list>\n</catalogue>\n";

}  // namespace

std::string MakeDriveList(int drives) {
  std::string xml = Header();
  xml.reserve(size_t(drives) * 180 + 128);
  for (int i = 0; i < drives; ++i) AppendDrive(&xml, i);
  return xml + kFooter;
}

std::string MakeDriveListOfSize(size_t bytes) {
  std::string xml = Header();
  xml.reserve(bytes + 512);
  for (int i = 0; xml.size() < bytes; ++i) AppendDrive(&xml, i);
  return xml + kFooter;
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace ardo::bench
