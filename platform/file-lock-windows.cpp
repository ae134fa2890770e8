// Windows: LockFileEx() on a lock file, and write-flush-MoveFileEx for atomic replacement.
#include "platform/file-lock.hpp"

#include "platform/windows-text.hpp"

#include <atomic>
#include <stdexcept>

namespace Korvalt::Ponderix::Platform {
namespace {

std::runtime_error Failure(const std::string& what, const std::string& path, DWORD error) {
  return std::runtime_error(what + " [" + path + "]: system error " + std::to_string(error));
}

std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(counter++) + ".tmp";
}

}  // namespace

FileLock::FileLock(const std::string& path, Mode mode) {
  HANDLE file = CreateFileW(WideFromAnsi(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw Failure("Cannot open lock file", path, GetLastError());
  OVERLAPPED whole{};
  const DWORD flags = mode == Mode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
  if (!LockFileEx(file, flags, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    throw Failure("Cannot lock file", path, error);
  }
  handle_ = file;
}

FileLock::~FileLock() {
  if (handle_ == nullptr) return;
  OVERLAPPED whole{};
  UnlockFileEx(static_cast<HANDLE>(handle_), 0, MAXDWORD, MAXDWORD, &whole);
  CloseHandle(static_cast<HANDLE>(handle_));
}

void ReplaceFileAtomically(const std::string& path, const std::string& content) {
  const std::string temporary = TemporaryName(path);
  HANDLE file = CreateFileW(WideFromAnsi(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw Failure("Cannot create temporary file", temporary, GetLastError());

  DWORD error = 0;
  const char* data = content.data();
  std::size_t left = content.size();
  while (error == 0 && left > 0) {
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr)) {
      error = GetLastError();
    } else {
      data += written;
      left -= written;
    }
  }
  if (error == 0 && !FlushFileBuffers(file)) error = GetLastError();
  CloseHandle(file);
  if (error == 0 &&
      !MoveFileExW(WideFromAnsi(temporary).c_str(), WideFromAnsi(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) {
    DeleteFileW(WideFromAnsi(temporary).c_str());
    throw Failure("Cannot write file", path, error);
  }
}

}  // namespace Korvalt::Ponderix::Platform
