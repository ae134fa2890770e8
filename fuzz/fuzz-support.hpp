// What the fuzz targets share: a private data folder, and the input split into parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace FuzzSupport {

// Points APPDATA at a fresh temporary folder, with a log that writes nothing (the targets drive
// the library millions of times). Returns the folder; call once, from LLVMFuzzerInitialize.
const std::string& PrivateAppData();

// The input cut at its 0x00 bytes: the first `count` - 1 parts, then the rest as it is.
std::vector<std::string> Split(const std::uint8_t* data, std::size_t size, std::size_t count);

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

// A broken property of the code under test: reported and ended like a crash.
[[noreturn]] void Fail(const std::string& what);

}  // namespace FuzzSupport
