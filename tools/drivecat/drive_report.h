// What drivecat prints: one row per drive, gathered through the catalogue,
// as an aligned text table or as JSON.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <ardoxml/ardoxml.h>

#include "catalogue/ardo_model_lookup.h"

namespace drivecat {

// Everything drivecat says about one drive. The optional parts are those a
// drive list may lack; they print as "-" in text and null in JSON.
struct DriveRow {
  std::uintptr_t position = 0;
  bool hasPid = false;
  unsigned pid = 0;
  std::string model;
  std::string platform;  // "" when the catalogue has none for the identifier
  std::string frame;     // likewise
  bool hasVolts = false;
  long volts = 0;
  float amps = 0.0f;
  float peakAmps = 0.0f;
  std::string family;  // "Vantor K", "Vantor QZ" or "" for neither
};

// The catalogue with the one reading the look-ups do not offer: a drive's
// voltage rating, and whether an attribute is there at all.
class DriveCatalogue : public cArdoModelLookup {
 public:
  DriveRow RowAt(POSITION pos);
  std::vector<DriveRow> Rows();
  // LookupPID answers 255 both for "no such rating" and for a drive whose
  // identifier is 255; true when the rating does belong to such a drive.
  bool RatingHasPid255(unsigned volts, unsigned amps);
};

std::string FormatPosition(std::uintptr_t position);
std::string FormatAmperes(float amperes);
// `text` as a JSON string: quoted, escaped, invalid UTF-8 replaced by U+FFFD.
std::string JsonString(const std::string& text);
std::string RowJson(const DriveRow& row);

void PrintTable(std::ostream& out, const std::vector<DriveRow>& rows);

}  // namespace drivecat
