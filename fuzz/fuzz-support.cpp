#include "fuzz/fuzz-support.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <boost/filesystem.hpp>

#include "platform/paths.hpp"

namespace FuzzSupport {

const std::string& PrivateAppData() {
  static const std::string folder = [] {
    auto path = boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("fuzz-%%%%%%%%");
    boost::filesystem::create_directories(path);
    setenv("APPDATA", path.string().c_str(), 1);
    const auto logs = Korvalt::Ponderix::Platform::LogsFolder();
    boost::filesystem::create_directories(logs);
    WriteFile(Korvalt::Ponderix::Platform::JoinPath(logs, "config.ini"),
              "file_name = driver.log\nmax_files = 1\nmax_size = 1048576\nseverity_level = critical\n");
    return path.string();
  }();
  return folder;
}

std::vector<std::string> Split(const std::uint8_t* data, std::size_t size, std::size_t count) {
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && parts.size() + 1 < count) {
      parts.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  parts.push_back(current);
  parts.resize(count);
  return parts;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "property broken: %s\n", what.c_str());
  std::abort();
}

}  // namespace FuzzSupport
