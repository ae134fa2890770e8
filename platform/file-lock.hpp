// Files shared between processes: advisory locks, and replacing a file's content atomically.
#pragma once

#include <string>

namespace Korvalt::Ponderix::Platform {

// An advisory lock on the file at `path` (created when missing and never deleted: removing a lock
// file while others wait on it would let two holders in at once). Held from construction until
// destruction. Shared locks coexist; an exclusive lock excludes every other lock, whether held by
// another process or by another FileLock of this process (each FileLock opens the file anew).
// Blocks until the lock is granted; throws std::runtime_error when the file cannot be opened or
// locked. Do not take a second lock on the same file while holding one on the same thread.
class FileLock {
 public:
  enum class Mode { Shared, Exclusive };

  FileLock(const std::string& path, Mode mode);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  void* handle_ = nullptr;
};

// Replaces the content of the file at `path` so that a reader sees either the old or the new
// content, never a part of it, even after a crash: writes a temporary file in the same folder,
// flushes it to disk and renames it over `path`. Throws std::runtime_error on failure; `path` is
// then unchanged and the temporary file is gone. Concurrent writers must be kept apart by the
// caller (for example with a FileLock).
void ReplaceFileAtomically(const std::string& path, const std::string& content);

}  // namespace Korvalt::Ponderix::Platform
