// Generated drive lists in the catalogue's format, for the benchmarks: one
// drive element per model under drive_list, with the five attributes the
// catalogue reads and a little content of its own.
#pragma once

#include <cstddef>
#include <string>

namespace ardo::bench {

// A drive list of exactly `drives` drives.
std::string MakeDriveList(int drives);

// A drive list of at least `bytes` bytes.
std::string MakeDriveListOfSize(size_t bytes);

// The five attributes every drive carries, in the order the catalogue reads
// them.
inline constexpr const char* kDriveAttributes[] = {"PID", "model", "volts", "amps", "peakamps"};

// Writes text to a file; false when it cannot.
bool WriteFile(const std::string& path, const std::string& text);

}  // namespace ardo::bench
