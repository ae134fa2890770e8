#pragma once
#include <string>

namespace TestSupport {
// The APPDATA folder of this test process (a fresh temporary folder).
const std::string& AppData();
}
