// POSIX: flock() on a lock file, and write-fsync-rename for atomic replacement.
//
// Only stdio and descriptor-level calls that are not named open() or close() are used here: the
// driver library exports functions with those two names, and inside libdriver.so a call to them
// from this unit would be bound to the exports rather than to the C library.
#include "platform/file-lock.hpp"

#include <dirent.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace Korvalt::Ponderix::Platform {
namespace {

std::runtime_error Failure(const std::string& what, const std::string& path, int error) {
  return std::runtime_error(what + " [" + path + "]: " + std::strerror(error));
}

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Makes a finished rename durable: the folder's entry is flushed as well as the file.
void SyncFolder(const std::string& folder) {
  if (DIR* dir = opendir(folder.c_str())) {
    fsync(dirfd(dir));
    closedir(dir);
  }
}

std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + "." + std::to_string(static_cast<long>(getpid())) + "." + std::to_string(counter++) + ".tmp";
}

}  // namespace

FileLock::FileLock(const std::string& path, Mode mode) {
  // "a": created when missing, never truncated; "e": not inherited by programs started later.
  FILE* file = std::fopen(path.c_str(), "ae");
  if (file == nullptr) throw Failure("Cannot open lock file", path, errno);
  const int operation = mode == Mode::Exclusive ? LOCK_EX : LOCK_SH;
  int rc;
  do {
    rc = flock(fileno(file), operation);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int error = errno;
    std::fclose(file);
    throw Failure("Cannot lock file", path, error);
  }
  handle_ = file;
}

FileLock::~FileLock() {
  // Closing the only descriptor of this open file description releases the lock.
  if (handle_ != nullptr) std::fclose(static_cast<FILE*>(handle_));
}

void ReplaceFileAtomically(const std::string& path, const std::string& content) {
  std::string temporary = TemporaryName(path);
  // "x": never write into a file someone else created under the same name.
  FILE* file = std::fopen(temporary.c_str(), "wbxe");
  if (file == nullptr && errno == EEXIST) {
    // Left over by a crashed process that had the same process id.
    std::remove(temporary.c_str());
    file = std::fopen(temporary.c_str(), "wbxe");
  }
  if (file == nullptr) throw Failure("Cannot create temporary file", temporary, errno);

  // stdio does not promise errno on every failure; a failure is never taken for success.
  auto lastError = [] { return errno != 0 ? errno : EIO; };
  int error = 0;
  errno = 0;
  if (!content.empty() && std::fwrite(content.data(), 1, content.size(), file) != content.size()) error = lastError();
  if (error == 0 && std::fflush(file) != 0) error = lastError();
  if (error == 0 && fsync(fileno(file)) != 0) error = lastError();
  if (std::fclose(file) != 0 && error == 0) error = lastError();
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = lastError();
  if (error != 0) {
    std::remove(temporary.c_str());
    throw Failure("Cannot write file", path, error);
  }
  SyncFolder(FolderOf(path));
}

}  // namespace Korvalt::Ponderix::Platform
