// The file under the logic-device store: one file in the data folder, shared by every device
// handle of every process. It is read and changed only under an advisory lock on "<file>.lock"
// (shared to read, exclusive to change) and replaced in one step, so a reader never meets half a
// store; what the store holds and which contents are valid is the store's own business.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/file-lock.hpp"

namespace Korvalt::Ponderix::Driver {

// The store cannot be used: its folder or file cannot be created, locked, read or written, or the
// file is not a store (malformed JSON, no "devices", a device key that is not an identifier, a
// device lacking one of its seven settings). Thrown only by the constructor; the operations report
// it as LogicDeviceJSONError. The file is never changed when this is thrown.
class LogicDeviceStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StoreFile {
 public:
  StoreFile(std::string folder, const std::string& fileName);

  const std::string& Path() const { return path_; }

  // Takes the lock for one operation, held until the returned lock is destroyed. The folder is
  // made first when it is missing. Under the exclusive lock the temporaries of a writer that died
  // are removed. A file that is not there at all is written by `createMissing` (through Replace)
  // under the exclusive lock, for which a shared lock is given up. Throws LogicDeviceStoreError.
  std::unique_ptr<Platform::FileLock> Lock(Platform::FileLock::Mode mode,
                                           const std::function<void()>& createMissing) const;

  // The file's bytes; throws LogicDeviceStoreError when it cannot be read.
  std::string Read() const;

  // Replaces the file by `bytes` in one step, once `readsBack` has found that they read back as
  // the content meant: what cannot be read back must not replace a file every process depends
  // on. Needs the exclusive lock. Throws std::exception on failure; the file is then unchanged.
  void Replace(const std::string& bytes, const std::function<bool(const std::string&)>& readsBack) const;

  // Whether `name` is the name of a temporary file of an atomic replacement of the file named
  // `storeName`: "<store file>.<process id>.<n>.tmp".
  static bool IsTemporaryOf(const std::string& name, const std::string& storeName);

 private:
  void EnsureFolder() const;
  std::unique_ptr<Platform::FileLock> TakeLock(Platform::FileLock::Mode mode) const;
  void RemoveAbandonedTemporaries() const;
  bool IsMissing() const;

  std::string folder_;
  std::string path_;
  std::string lockPath_;
};

}  // namespace Korvalt::Ponderix::Driver
