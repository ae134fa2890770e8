#include "benchtap/port-commands.hpp"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace Korvalt::Ponderix::Benchtap {
namespace {

using TableFn = int (*)(char*, size_t, size_t*);
using DiscoverFn = int (*)(const char*, int, char*, size_t, size_t*);
using ResultNameFn = const char* (*)(int);

constexpr int kBufferTooSmall = 100;  // PDX_BUFFER_TOO_SMALL

const std::vector<std::string> kPortHeadings = {"port", "stable name", "bus", "vendor", "product id", "serial",
                                                "manufacturer", "product", "access"};
const std::vector<std::string> kDiscoveryHeadings = {"end point", "protocol or result", "model", "serial",
                                                     "ms", "note"};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const auto tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

// Calls a table function with a buffer of `guess` bytes, and once more with the size it asks for.
template <typename Call>
int ReadTable(std::size_t guess, Call&& call, std::string& table) {
  std::vector<char> buffer(std::max<std::size_t>(guess, 1));
  size_t needed = 0;
  int code = call(buffer.data(), buffer.size(), &needed);
  if (code == kBufferTooSmall && needed > buffer.size()) {
    buffer.resize(needed);
    code = call(buffer.data(), buffer.size(), &needed);
  }
  if (code == 0) table.assign(buffer.data());
  return code;
}

struct PortRequest {
  bool list = false;
  bool discover = false;
  std::vector<std::string> patterns;
  int timeoutMs = 0;
};

bool ReadRequest(int argc, const char* const* argv, PortRequest& request, std::ostream& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--list-ports") {
      request.list = true;
    } else if (argument == "--discover") {
      request.discover = true;
    } else if (argument == "--timeout" && i + 1 < argc) {
      try {
        request.timeoutMs = std::stoi(argv[++i]);
      } catch (const std::exception&) {
        request.timeoutMs = -1;
      }
      if (request.timeoutMs < 0) {
        out << "--timeout wants a time in milliseconds (0: detection's own)." << std::endl;
        return false;
      }
    } else if (request.discover && argument.rfind("--", 0) != 0) {
      request.patterns.push_back(argument);
    } else {
      out << "With --list-ports and --discover [PATTERN ...] only --timeout MS may follow; not " << argument << "."
          << std::endl;
      return false;
    }
  }
  return true;
}

std::string CodeText(int code, ResultNameFn name) {
  const char* text = name ? name(code) : nullptr;
  return text ? std::string(text) : "result " + std::to_string(code);
}

}  // namespace

bool AsksForPorts(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--list-ports") == 0 || std::strcmp(argv[i], "--discover") == 0) return true;
  }
  return false;
}

std::string AlignTable(const std::vector<std::string>& headings, const std::string& table) {
  std::vector<std::vector<std::string>> rows = {headings};
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    auto fields = SplitTabs(line);
    fields.resize(std::max(fields.size(), headings.size()));
    for (auto& field : fields) {
      if (field.empty()) field = "-";
    }
    rows.push_back(fields);
  }
  // Columns by characters, not bytes: a model text may be Cyrillic.
  auto width = [](const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
  };
  std::vector<std::size_t> widths(headings.size(), 0);
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < widths.size(); ++i) widths[i] = std::max(widths[i], width(row[i]));
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(i < widths.size() ? widths[i] - width(row[i]) + 2 : 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

int RunPortCommands(int argc, const char* const* argv, const Wrapper::Library& library, std::ostream& out) {
  PortRequest request;
  if (!ReadRequest(argc, argv, request, out)) return 2;
  const auto listPorts = reinterpret_cast<TableFn>(library.FindExport("pdx_list_ports"));
  const auto discover = reinterpret_cast<DiscoverFn>(library.FindExport("pdx_discover"));
  const auto resultName = reinterpret_cast<ResultNameFn>(library.FindExport("pdx_result_name"));
  if (listPorts == nullptr || discover == nullptr) {
    out << "This driver library has no port listing (pdx_list_ports, pdx_discover)." << std::endl;
    return 1;
  }
  if (request.list) {
    std::string table;
    const int code = ReadTable(16 * 1024, [&](char* b, size_t s, size_t* n) { return listPorts(b, s, n); }, table);
    if (code != 0) {
      out << "Listing the ports failed: " << CodeText(code, resultName) << std::endl;
      return 1;
    }
    out << "Serial ports:\n" << (table.empty() ? std::string("(none)\n") : AlignTable(kPortHeadings, table));
  }
  if (request.discover) {
    std::string patterns;
    for (const auto& pattern : request.patterns) patterns += pattern + "\n";
    std::string table;
    const int code = ReadTable(
        64 * 1024 + 1024 * request.patterns.size(),
        [&](char* b, size_t s, size_t* n) {
          return discover(request.patterns.empty() ? nullptr : patterns.c_str(), request.timeoutMs, b, s, n);
        },
        table);
    if (code != 0) {
      out << "Discovery failed: " << CodeText(code, resultName) << std::endl;
      return 1;
    }
    if (request.list) out << "\n";
    out << "Scales found:\n" << (table.empty() ? std::string("(no port to probe)\n") : AlignTable(kDiscoveryHeadings, table));
  }
  out << std::flush;
  return 0;
}

}  // namespace Korvalt::Ponderix::Benchtap
