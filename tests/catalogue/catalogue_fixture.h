// The catalogue tests' fixture: the leak check, a temporary folder for drive
// lists, and small conversions for positions and strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/ardo_model_lookup.h"
#include "tests/catalogue/drive_list_files.h"
#include "tests/support/leak_fixture.h"

namespace ardo::test {

inline POSITION Pos(std::uintptr_t value) { return reinterpret_cast<POSITION>(value); }
inline std::uintptr_t Value(POSITION pos) { return reinterpret_cast<std::uintptr_t>(pos); }
inline std::string Str(const CString& text) { return std::string(static_cast<const char*>(text)); }

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
    const std::string path = folder_.WriteDrives("list" + std::to_string(++files_) + ".xml", drives);
    ASSERT_EQ(lookup.LoadDocument(path.c_str()), S_OK) << path;
  }

  // Identifiers in walk order, ending with the 65535 of the past-the-end step.
  static std::vector<unsigned> PidWalk(cArdoModelLookup& lookup) {
    std::vector<unsigned> pids;
    POSITION pos = lookup.GetFirstDevice();
    while (pos != nullptr && pids.size() < 100000) pids.push_back(lookup.GetNextPID(pos));
    return pids;
  }

  TempFolder folder_;
  int files_ = 0;
};

}  // namespace ardo::test
