// The catalogue tests' fixture and drive lists: a temporary folder removed
// with the object, a builder for <drive> elements in which any attribute can
// be left out, and small conversions for positions and strings.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/ardo_model_lookup.h"
#include "tests/support/leak_fixture.h"

namespace ardo::test {

inline POSITION Pos(std::uintptr_t value) { return reinterpret_cast<POSITION>(value); }
inline std::uintptr_t Value(POSITION pos) { return reinterpret_cast<std::uintptr_t>(pos); }
inline std::string Str(const CString& text) { return std::string(static_cast<const char*>(text)); }

struct DriveSpec {  // PID, model, volts, amps, peakamps; nullopt leaves the attribute out
  std::optional<std::string> pid, model, volts, amps, peakamps;
};

inline DriveSpec Drive(unsigned pid, const std::string& model, unsigned volts, unsigned amps, unsigned peakamps) {
  return {std::to_string(pid), model, std::to_string(volts), std::to_string(amps), std::to_string(peakamps)};
}

inline std::string DriveListXml(const std::vector<DriveSpec>& drives) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<drive_list>\n";
  for (const DriveSpec& d : drives) {
    xml += "  <drive";
    const std::pair<const char*, const std::optional<std::string>*> attributes[] = {
        {"PID", &d.pid}, {"model", &d.model}, {"volts", &d.volts}, {"amps", &d.amps}, {"peakamps", &d.peakamps}};
    for (const auto& [name, value] : attributes)
      if (*value) xml += std::string(" ") + name + "=\"" + **value + "\"";  // tests use no quotes or ampersands
    xml += "/>\n";
  }
  return xml + "</drive_list>\n";
}

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ardo-drives-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
  }
  ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }
  TempFolder(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Writes `content` to `name` inside the folder and returns the full path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + file.string());
    return file.string();
  }

 private:
  std::filesystem::path path_;
  std::error_code ignored_;
};

// Exposes the protected attribute reader, as a derived host catalogue would.
class InspectableLookup : public cArdoModelLookup {
 public:
  using cArdoModelLookup::_GetDriveAttribute;
};

class CatalogueTest : public LeakCheckedTest {
 protected:
  // Writes the drives to a new file and loads it into `lookup`; fails the
  // test when the file does not load.
  void Load(cArdoModelLookup& lookup, const std::vector<DriveSpec>& drives) {
    const std::string path = folder_.Write("list" + std::to_string(++files_) + ".xml", DriveListXml(drives));
    ASSERT_EQ(lookup.LoadDocument(path.c_str()), S_OK) << path;
  }

  TempFolder folder_;
  int files_ = 0;
};

}  // namespace ardo::test
