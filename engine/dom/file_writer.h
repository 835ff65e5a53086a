// Writing a saved document to a file without losing the one it replaces.
#pragma once

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace ardo::engine {

// Output for a file path. Where the path names a regular file (or nothing
// yet), the bytes go to a new file beside it that Commit renames over the
// path, so that a write failing half way (a full disk, a size limit)
// leaves the old file whole; the replacement keeps the old file's
// permissions. A device, a pipe or a file with other hard links is
// written in place.
class FileWriter {
 public:
  FileWriter() = default;
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;
  ~FileWriter();  // removes an uncommitted replacement

  // Opens the output; a failing HRESULT with *reason when it cannot.
  HRESULT Open(const std::string& path, std::string* reason);
  bool Write(const char* data, size_t n);
  // Whether a write failed (Commit then says why and replaces nothing).
  bool WriteFailed() const { return writeErrno_ != 0; }
  // Finishes the output (and puts the replacement in place); a failing
  // HRESULT with *reason when the bytes did not all reach the file.
  HRESULT Commit(std::string* reason);

 private:
  std::string path_;       // what the host named, symbolic links resolved
  std::string temporary_;  // the replacement being written, if any
  FILE* file_ = nullptr;
  int writeErrno_ = 0;
};

}  // namespace ardo::engine
