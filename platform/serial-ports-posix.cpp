// Linux: the serial ports as sysfs describes them (/sys/class/tty/*/device), their stable
// names (/dev/serial/by-id), their holders (/proc/locks and /proc/*/fd) and the identity of the
// device behind a name (/sys/dev/char/MAJ:MIN). No udev library: the files are the interface.
//
// Only calls not named open() or close() are used (see file-lock-posix.cpp).
#include "platform/serial-ports.hpp"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace Korvalt::Ponderix::Platform {
namespace {

std::string Join(const std::string& folder, const std::string& name) { return folder + "/" + name; }

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Parent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string LinkTarget(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

// The first line of a small sysfs or proc file, without its line break and blanks at the end.
std::string ReadLine(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "re");
  if (file == nullptr) return {};
  char buffer[512];
  std::string line = std::fgets(buffer, sizeof buffer, file) ? buffer : "";
  std::fclose(file);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

// "ttyS2" before "ttyS10".
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      const auto na = std::strtoull(a.substr(i, ei - i).c_str(), nullptr, 10);
      const auto nb = std::strtoull(b.substr(j, ej - j).c_str(), nullptr, 10);
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// The USB device (the folder with idVendor and idProduct) above a sysfs device folder; empty
// for a device not on USB.
std::string UsbDeviceAbove(std::string folder, const std::string& sysRoot) {
  const std::string top = RealPath(Join(sysRoot, "devices"));
  while (!folder.empty() && folder != top && folder.size() > top.size()) {
    if (Exists(Join(folder, "idVendor")) && Exists(Join(folder, "idProduct"))) return folder;
    folder = Parent(folder);
  }
  return {};
}

std::string SubsystemOf(const std::string& folder) { return BaseName(LinkTarget(Join(folder, "subsystem"))); }

std::string BusOf(const std::string& ttyName, std::string folder, const std::string& usbDevice,
                  const std::string& sysRoot) {
  if (!usbDevice.empty()) return "usb";
  if (ttyName.rfind("rfcomm", 0) == 0) return "bluetooth";
  const std::string top = RealPath(Join(sysRoot, "devices"));
  if (folder.empty() || folder.rfind(Join(top, "virtual"), 0) == 0) return "virtual";
  while (!folder.empty() && folder.size() > top.size()) {
    const std::string subsystem = SubsystemOf(folder);
    if (subsystem == "pci") return "pci";
    if (subsystem == "bluetooth") return "bluetooth";
    if (subsystem == "platform" || subsystem == "pnp" || subsystem == "amba" || subsystem == "acpi") return "platform";
    folder = Parent(folder);
  }
  return "platform";
}

// The stable names of /dev/serial/by-id by the name of the port they point at.
std::map<std::string, std::string> StableNames(const std::string& devRoot) {
  std::map<std::string, std::string> byPort;
  const std::string folder = Join(devRoot, "serial/by-id");
  std::vector<std::string> links = Entries(folder);
  std::sort(links.begin(), links.end());
  for (const auto& link : links) {
    const std::string target = BaseName(LinkTarget(Join(folder, link)));
    if (!target.empty() && byPort.count(target) == 0) byPort[target] = Join(folder, link);
  }
  return byPort;
}

// A file's identity for matching descriptors and locks: the device numbers of a device node,
// else the file system and inode.
struct FileKey {
  bool device = false;
  dev_t rdev = 0;
  dev_t dev = 0;
  ino_t inode = 0;

  static FileKey Of(const struct stat& info) {
    FileKey key;
    key.device = S_ISCHR(info.st_mode);
    key.rdev = info.st_rdev;
    key.dev = info.st_dev;
    key.inode = info.st_ino;
    return key;
  }
  bool Matches(const struct stat& info) const {
    return device ? S_ISCHR(info.st_mode) && info.st_rdev == rdev : info.st_dev == dev && info.st_ino == inode;
  }
};

std::string ProgramOf(long pid, const std::string& procRoot) {
  return ReadLine(Join(Join(procRoot, std::to_string(pid)), "comm"));
}

// The processes holding a flock() or a record lock on the file (its node's file system and inode).
std::vector<long> LockHolders(const struct stat& node, const std::string& procRoot) {
  std::vector<long> pids;
  std::FILE* locks = std::fopen(Join(procRoot, "locks").c_str(), "re");
  if (locks == nullptr) return pids;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, locks)) {
    // "1: FLOCK  ADVISORY  WRITE 4711 00:05:341 0 EOF"; a waiting lock reads "1: -> FLOCK ...".
    std::istringstream fields(buffer);
    std::string number, kind, mode, access, file;
    long pid = 0;
    if (!(fields >> number >> kind) || kind == "->") continue;
    if (!(fields >> mode >> access >> pid >> file)) continue;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (makedev(major, minor) == node.st_dev && inode == node.st_ino &&
        std::find(pids.begin(), pids.end(), pid) == pids.end()) {
      pids.push_back(pid);
    }
  }
  std::fclose(locks);
  return pids;
}

// The processes with a descriptor on the file; another user's processes only when the system
// lets this one look (root).
std::vector<long> Openers(const FileKey& key, const std::string& procRoot) {
  std::vector<long> pids;
  for (const auto& entry : Entries(procRoot)) {
    if (entry.empty() || !std::all_of(entry.begin(), entry.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      continue;
    }
    const std::string fds = Join(Join(procRoot, entry), "fd");
    for (const auto& fd : Entries(fds)) {
      struct stat info {};
      if (::stat(Join(fds, fd).c_str(), &info) == 0 && key.Matches(info)) {
        pids.push_back(std::atol(entry.c_str()));
        break;
      }
    }
  }
  return pids;
}

std::vector<PortHolder> HoldersOf(const std::string& name, const std::string& procRoot) {
  std::vector<PortHolder> holders;
  struct stat node {};
  if (::stat(name.c_str(), &node) != 0) return holders;
  for (long pid : LockHolders(node, procRoot)) holders.push_back({pid, ProgramOf(pid, procRoot), true});
  for (long pid : Openers(FileKey::Of(node), procRoot)) {
    const bool known = std::any_of(holders.begin(), holders.end(), [pid](const PortHolder& h) { return h.pid == pid; });
    if (!known) holders.push_back({pid, ProgramOf(pid, procRoot), false});
  }
  return holders;
}

// Pseudo-terminal slaves: majors 136 to 143, 256 terminals each.
bool IsPseudoTerminal(unsigned major) { return major >= 136 && major <= 143; }

PortAccess AccessOf(const std::string& name, const std::string& procRoot) {
  struct stat node {};
  if (::stat(name.c_str(), &node) != 0) return PortAccess::Free;
  if (::access(name.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) return PortAccess::Denied;
  if (!LockHolders(node, procRoot).empty()) return PortAccess::Busy;
  if (S_ISCHR(node.st_mode) && IsPseudoTerminal(::major(node.st_rdev))) return PortAccess::Free;
  // Held without a lock (a program that took it with TIOCEXCL only, or shares it).
  const long self = static_cast<long>(::getpid());
  for (long pid : Openers(FileKey::Of(node), procRoot)) {
    if (pid != self) return PortAccess::Busy;
  }
  return PortAccess::Free;
}

// The process holding the master of pseudo-terminal `index` (the lowest process id when several
// share it): "process 4711 (scalesim)"; empty when none this process may see.
std::string PseudoTerminalMaster(unsigned index, const std::string& procRoot) {
  long found = 0;
  for (const auto& entry : Entries(procRoot)) {
    if (!std::all_of(entry.begin(), entry.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
      continue;
    }
    const long pid = std::atol(entry.c_str());
    if (found != 0 && pid >= found) continue;
    const std::string process = Join(procRoot, entry);
    for (const auto& fd : Entries(Join(process, "fd"))) {
      if (BaseName(LinkTarget(Join(Join(process, "fd"), fd))) != "ptmx") continue;
      std::FILE* info = std::fopen(Join(Join(process, "fdinfo"), fd).c_str(), "re");
      if (info == nullptr) continue;
      char line[256];
      unsigned ttyIndex = 0;
      bool match = false;
      while (std::fgets(line, sizeof line, info)) {
        if (std::sscanf(line, "tty-index: %u", &ttyIndex) == 1) match = ttyIndex == index;
      }
      std::fclose(info);
      if (match) {
        found = pid;
        break;
      }
    }
  }
  return found == 0 ? std::string() : "process " + std::to_string(found) + " (" + ProgramOf(found, procRoot) + ")";
}

DeviceIdentity IdentityOfNode(const struct stat& info) {
  if (S_ISCHR(info.st_mode) && IsPseudoTerminal(::major(info.st_rdev))) {
    // A pseudo-terminal is the program on its master side: a simulator or bridge that replaced
    // its terminal after a hang-up is still itself; another program's terminal is not.
    const unsigned index = (::major(info.st_rdev) - 136) * 256 + ::minor(info.st_rdev);
    const std::string master = PseudoTerminalMaster(index, "/proc");
    if (!master.empty()) return {"pseudo-terminal of " + master};
  }
  if (S_ISCHR(info.st_mode)) return IdentifyCharDevice(::major(info.st_rdev), ::minor(info.st_rdev), SysfsRoots{});
  // Not a device (a FIFO or file standing in for one): the file itself.
  return {"file " + std::to_string(static_cast<unsigned long long>(info.st_dev)) + ":" +
          std::to_string(static_cast<unsigned long long>(info.st_ino))};
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const SysfsRoots& roots) {
  std::vector<SerialPortInfo> ports;
  const std::string classFolder = Join(roots.sys, "class/tty");
  const auto stable = StableNames(roots.dev);
  for (const auto& ttyName : Entries(classFolder)) {
    const std::string entry = Join(classFolder, ttyName);
    const std::string device = RealPath(Join(entry, "device"));
    // Consoles, virtual terminals and pseudo-terminals have no device; RFCOMM ports neither.
    if (device.empty() && ttyName.rfind("rfcomm", 0) != 0) continue;
    // The serial core lists every possible 8250 port; type 0 means no UART answers there.
    if (ReadLine(Join(entry, "type")) == "0") continue;
    SerialPortInfo info;
    info.name = Join(roots.dev, ttyName);
    const std::string usb = device.empty() ? std::string() : UsbDeviceAbove(device, roots.sys);
    info.bus = BusOf(ttyName, device, usb, roots.sys);
    if (!usb.empty()) {
      info.vendorId = ReadLine(Join(usb, "idVendor"));
      info.productId = ReadLine(Join(usb, "idProduct"));
      info.serialNumber = ReadLine(Join(usb, "serial"));
      info.manufacturer = ReadLine(Join(usb, "manufacturer"));
      info.product = ReadLine(Join(usb, "product"));
    }
    const auto link = stable.find(ttyName);
    if (link != stable.end()) info.stableName = link->second;
    info.access = AccessOf(info.name, roots.proc);
    ports.push_back(info);
  }
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return NaturalLess(a.name, b.name); });
  return ports;
}

std::vector<SerialPortInfo> ListSerialPorts() { return ListSerialPorts(SysfsRoots{}); }

DeviceIdentity IdentifyCharDevice(unsigned major, unsigned minor, const SysfsRoots& roots) {
  const std::string numbers = std::to_string(major) + ":" + std::to_string(minor);
  const std::string folder = RealPath(Join(roots.sys, "dev/char/" + numbers));
  const std::string usb = folder.empty() ? std::string() : UsbDeviceAbove(folder, roots.sys);
  if (!usb.empty()) {
    const std::string ids = ReadLine(Join(usb, "idVendor")) + ":" + ReadLine(Join(usb, "idProduct"));
    const std::string serial = ReadLine(Join(usb, "serial"));
    // Without a serial number two adapters of one make differ only by the socket they are in.
    return {"usb " + ids + (serial.empty() ? " at " + BaseName(usb) : " serial " + serial)};
  }
  if (IsPseudoTerminal(major)) return {"pseudo-terminal " + std::to_string((major - 136) * 256 + minor)};
  return {"character device " + numbers};
}

DeviceIdentity IdentifyPort(const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return {};
  return IdentityOfNode(info);
}

DeviceIdentity IdentifyLine(LineHandle line, const std::string& name) {
  struct stat info {};
  if (::fstat(static_cast<int>(line), &info) != 0) return IdentifyPort(name);
  return IdentityOfNode(info);
}

bool ClaimLine(LineHandle line) {
  const int fd = static_cast<int>(line);
  // Refused for what is not a terminal; the lock below still keeps other openers of ours out.
  ::ioctl(fd, TIOCEXCL);
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc == 0 || errno != EWOULDBLOCK;
}

void ReleaseLine(LineHandle line) {
  const int fd = static_cast<int>(line);
  ::ioctl(fd, TIOCNXCL);
  ::flock(fd, LOCK_UN);
}

std::vector<PortHolder> FindPortHolders(const std::string& name) { return HoldersOf(name, "/proc"); }

PortAccess CheckPortAccess(const std::string& name) { return AccessOf(name, "/proc"); }

std::string AccessAdvice(const std::string& name) {
  struct stat node {};
  if (::stat(name.c_str(), &node) != 0) return {};
  const group* owner = ::getgrgid(node.st_gid);
  const std::string groupName = owner ? owner->gr_name : std::to_string(node.st_gid);
  const passwd* user = ::getpwuid(::geteuid());
  const std::string userName = user ? user->pw_name : std::to_string(::geteuid());
  if ((node.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
    return name + " gives its group no read and write access: a udev rule must set MODE=\"0660\" and GROUP=\"" +
           groupName + "\" (see docs/connecting-a-scale.md)";
  }
  // Member in the group database but not in this session: the membership counts from the next login.
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const gid_t primary = user ? user->pw_gid : ::getegid();
  bool member = false;
  if (user && ::getgrouplist(user->pw_name, primary, groups.data(), &count) >= 0) {
    member = std::find(groups.begin(), groups.begin() + count, node.st_gid) != groups.begin() + count;
  }
  std::vector<gid_t> session(static_cast<std::size_t>(NGROUPS_MAX));
  const int inSession = ::getgroups(static_cast<int>(session.size()), session.data());
  const bool sessionHasGroup = ::getegid() == node.st_gid ||
                               (inSession > 0 && std::find(session.begin(), session.begin() + inSession,
                                                           node.st_gid) != session.begin() + inSession);
  if (member && !sessionHasGroup) {
    return "user " + userName + " joined group " + groupName + " (which owns " + name +
           ") after this login began: log out and in again to gain access";
  }
  if (sessionHasGroup) return name + " refuses group " + groupName + " although this session is in it (an ACL or a security policy)";
  return name + " belongs to group " + groupName + ": add user " + userName + " to it (sudo usermod -aG " +
         groupName + " " + userName + "), then log out and in again: the membership counts from the next login";
}

}  // namespace Korvalt::Ponderix::Platform
