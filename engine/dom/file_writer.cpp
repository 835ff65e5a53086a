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
  if (err == EACCES || err == EPERM) return E_ACCESSDENIED;
  return STG_E_WRITEFAULT;
}

// A name beside path that no other save (of this process or another) uses.
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".~" + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1)) + ".tmp";
}

// Whether the file at path may be replaced by a new one (written beside it
// and renamed over it) without the host seeing any difference but its
// bytes, and if so the path to replace (symbolic links followed). A new
// file may; so may a regular file with one link that the process owns and
// may write. Anything else (a device, a file reached through /proc, one of
// another owner, a link to nothing yet) is written in place.
bool Replaceable(const std::string& path, std::string* target, struct stat* old, bool* exists) {
  auto special = [](const std::string& p) { return p.rfind("/dev/", 0) == 0 || p.rfind("/proc/", 0) == 0; };
  if (special(path)) return false;
  struct stat link;
  if (lstat(path.c_str(), &link) != 0) {
    *exists = false;
    *target = path;
    return errno == ENOENT;
  }
  *exists = true;
  if (S_ISLNK(link.st_mode)) {
    char resolved[PATH_MAX];
    if (stat(path.c_str(), old) != 0 || !realpath(path.c_str(), resolved) || special(resolved)) return false;
    *target = resolved;
  } else {
    *old = link;
    *target = path;
  }
  if (!S_ISREG(old->st_mode) || old->st_nlink != 1 || old->st_uid != geteuid()) return false;
  // The file's own permission decides, as it would for writing it in place.
  int probe = open(target->c_str(), O_WRONLY | O_CLOEXEC);
  if (probe < 0) return false;
  close(probe);
  return true;
}

}  // namespace

FileWriter::~FileWriter() {
  if (file_) fclose(file_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

HRESULT FileWriter::Open(const std::string& path, std::string* reason) {
  path_ = path;
  struct stat old {};
  bool exists = false;
  std::string target;
  if (Replaceable(path, &target, &old, &exists)) {
    std::string temporary = TemporaryName(target);
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      struct stat made;
      bool same = true;
      if (exists) {
        same = fchmod(fd, old.st_mode & 07777) == 0 && fstat(fd, &made) == 0 &&
               (made.st_gid == old.st_gid || fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0);
      }
      file_ = same ? fdopen(fd, "wb") : nullptr;
      if (file_) {
        temporary_ = temporary;
        path_ = target;
      } else {
        close(fd);
        unlink(temporary.c_str());
      }
    }
    // Where no file can be made beside it (a directory the host may not
    // write to), the file itself is written.
  }
  if (!file_) file_ = fopen(path.c_str(), "wb");
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
