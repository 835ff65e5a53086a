// Drive-list files for tests: a temporary folder that is removed with the
// object, and a builder for <drive> elements in which any attribute can be
// left out.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ardo::test {

struct DriveSpec {
  std::optional<std::string> pid;
  std::optional<std::string> model;
  std::optional<std::string> volts;
  std::optional<std::string> amps;
  std::optional<std::string> peakamps;
};

// A drive with every attribute present.
inline DriveSpec Drive(unsigned pid, const std::string& model, unsigned volts, unsigned amps, unsigned peakamps) {
  return {std::to_string(pid), model, std::to_string(volts), std::to_string(amps), std::to_string(peakamps)};
}

inline std::string DriveElement(const DriveSpec& d) {
  std::string xml = "<drive";
  auto add = [&xml](const char* name, const std::optional<std::string>& value) {
    if (value) xml += std::string(" ") + name + "=\"" + *value + "\"";  // tests use no quotes or ampersands
  };
  add("PID", d.pid);
  add("model", d.model);
  add("volts", d.volts);
  add("amps", d.amps);
  add("peakamps", d.peakamps);
  return xml + "/>";
}

inline std::string DriveListXml(const std::vector<DriveSpec>& drives) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<drive_list>\n";
  for (const DriveSpec& d : drives) xml += "  " + DriveElement(d) + "\n";
  return xml + "</drive_list>\n";
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ardo-drives-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Writes `content` to `name` inside the folder and returns the full path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file.string();
  }

  std::string WriteDrives(const std::string& name, const std::vector<DriveSpec>& drives) const {
    return Write(name, DriveListXml(drives));
  }

 private:
  std::filesystem::path path_;
};

}  // namespace ardo::test
