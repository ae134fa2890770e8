#include "driver/logic-devices/store-file.hpp"

#include <fstream>
#include <iterator>
#include <utility>

#include <boost/filesystem.hpp>

#include "common/text-template.hpp"
#include "driver/logging/logging.hpp"
#include "platform/paths.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

namespace fs = boost::filesystem;
using Platform::FileLock;
using Text::Fill;

const Logging::UnitLog kLog("logic-devices");

}  // namespace

StoreFile::StoreFile(std::string folder, const std::string& fileName)
    : folder_(std::move(folder)), path_(Platform::JoinPath(folder_, fileName)), lockPath_(path_ + ".lock") {}

std::unique_ptr<FileLock> StoreFile::Lock(FileLock::Mode mode, const std::function<void()>& createMissing) const {
  EnsureFolder();
  auto lock = TakeLock(mode);
  if (mode == FileLock::Mode::Exclusive) RemoveAbandonedTemporaries();
  if (IsMissing()) {
    // Creating the file is a change: only the holder of the exclusive lock may do it.
    if (mode == FileLock::Mode::Shared) {
      lock.reset();
      lock = TakeLock(FileLock::Mode::Exclusive);
      RemoveAbandonedTemporaries();
    }
    if (IsMissing()) createMissing();
  }
  return lock;
}

std::string StoreFile::Read() const {
  std::ifstream in(path_, std::ios::binary);
  std::string bytes;
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    kLog.Error("LogicDeviceManager::UploadExistingJson(), failed reading from json file " + path_);
    throw LogicDeviceStoreError("Failed reading from json file");
  }
  return bytes;
}

void StoreFile::Replace(const std::string& bytes, const std::function<bool(const std::string&)>& readsBack) const {
  if (!readsBack(bytes)) throw std::runtime_error("the new content does not read back as written");
  Platform::ReplaceFileAtomically(path_, bytes);
}

bool StoreFile::IsTemporaryOf(const std::string& name, const std::string& storeName) {
  const std::string suffix = ".tmp";
  if (name.size() <= storeName.size() + suffix.size() || name.compare(0, storeName.size(), storeName) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  const std::string middle = name.substr(storeName.size(), name.size() - storeName.size() - suffix.size());
  // ".<digits>.<digits>"
  const auto second = middle.find('.', 1);
  if (middle.size() < 4 || middle[0] != '.' || second == std::string::npos || second + 1 == middle.size()) return false;
  for (std::size_t i = 1; i < middle.size(); ++i) {
    if (i != second && (middle[i] < '0' || middle[i] > '9')) return false;
  }
  return second > 1;
}

void StoreFile::EnsureFolder() const {
  boost::system::error_code error;
  const bool created = fs::create_directories(folder_, error);
  // Another process may have made it at the same moment.
  boost::system::error_code ignored;
  if (error && fs::is_directory(folder_, ignored)) error.clear();
  if (error) {
    kLog.Error(Fill("LogicDeviceManager::LogicDeviceManager(), failed to create directory [@]", folder_) + ": " +
               error.message());
    throw LogicDeviceStoreError("Cannot create logic-devices-connection-config.json file directory");
  }
  if (created) kLog.Trace(Fill("LogicDeviceManager::LogicDeviceManager(), created directory [@]", folder_));
}

std::unique_ptr<FileLock> StoreFile::TakeLock(FileLock::Mode mode) const {
  try {
    return std::make_unique<FileLock>(lockPath_, mode);
  } catch (const std::runtime_error& e) {
    kLog.Error(std::string("LogicDeviceManager, cannot lock the store: ") + e.what());
    throw LogicDeviceStoreError("Cannot lock logic-devices-connection-config.json file");
  }
}

// A writer holds the exclusive lock from its temporary file's creation to its rename, so a
// temporary file met under that lock belongs to a writer that died (kill -9, power loss).
void StoreFile::RemoveAbandonedTemporaries() const {
  const std::string storeName = fs::path(path_).filename().string();
  boost::system::error_code error;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!IsTemporaryOf(name, storeName)) continue;
    boost::system::error_code removeError;
    if (fs::remove(it->path(), removeError)) {
      kLog.Trace("LogicDeviceManager, removed the temporary file of a writer that is gone: " + name);
    }
  }
}

// Only a file that is not there at all counts as missing: anything else in its place is read and
// refused if it is no store, so that it is never overwritten.
bool StoreFile::IsMissing() const {
  boost::system::error_code error;
  const auto status = fs::symlink_status(path_, error);
  if (status.type() == fs::file_not_found) return true;
  if (error) {
    kLog.Error("LogicDeviceManager::UploadExistingJson(), failed reading from json file " + path_ + ": " +
               error.message());
    throw LogicDeviceStoreError("Failed reading from json file");
  }
  return false;
}

}  // namespace Korvalt::Ponderix::Driver
