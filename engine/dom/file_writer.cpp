#include "engine/dom/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace ardo::engine {
namespace {

HRESULT OpenFailure(int err) {
  if (err == EACCES || err == EPERM || err == EROFS) return E_ACCESSDENIED;
  if (err == ENOENT || err == ENOTDIR) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  return E_FAIL;
}

HRESULT WriteFailure(int err) {
  if (err == ENOSPC || err == EFBIG || err == EDQUOT) return STG_E_MEDIUMFULL;
  return STG_E_WRITEFAULT;
}

// A name beside path that no other save (of this process or another) uses.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".~" + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
}

}  // namespace

FileWriter::~FileWriter() {
  if (file_) fclose(file_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

HRESULT FileWriter::Open(const std::string& path, std::string* reason) {
  path_ = path;
  struct stat old;
  bool exists = stat(path.c_str(), &old) == 0;
  if (exists) {
    // Replace the file a symbolic link leads to, not the link.
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved)) path_ = resolved;
  }
  if (!exists || (S_ISREG(old.st_mode) && old.st_nlink == 1)) {
    std::string temporary = TemporaryName(path_);
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temporary_ = temporary;
      if (exists) {
        // Best effort: a host that may not hand the file to its owner still
        // gets its bytes saved.
        if (fchown(fd, old.st_uid, old.st_gid) != 0) { /* kept as created */ }
        fchmod(fd, old.st_mode & 07777);
      }
      file_ = fdopen(fd, "wb");
      if (!file_) close(fd);
    }
    // Where no file can be made beside it (a directory the host may not
    // write to), the file itself is written, as before.
  }
  if (!file_) {
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
    file_ = fopen(path_.c_str(), "wb");
  }
  if (!file_) {
    int err = errno;
    if (reason) *reason = "Cannot open " + path + " for writing: " + strerror(err);
    return OpenFailure(err);
  }
  return S_OK;
}

bool FileWriter::Write(const char* data, size_t n) {
  if (fwrite(data, 1, n, file_) == n) return true;
  writeErrno_ = errno;
  return false;
}

HRESULT FileWriter::Commit(std::string* reason) {
  int err = writeErrno_;
  if (fflush(file_) != 0 && !err) err = errno;
  if (fclose(file_) != 0 && !err) err = errno;
  file_ = nullptr;
  if (!err && !temporary_.empty()) {
    if (rename(temporary_.c_str(), path_.c_str()) == 0) temporary_.clear();
    else err = errno;
  }
  if (!err) return S_OK;
  const bool kept = !temporary_.empty();
  if (reason)
    *reason = "Writing " + path_ + " failed: " + strerror(err) + (kept ? "; the file is left as it was." : ".");
  return WriteFailure(err);
}

}  // namespace ardo::engine
