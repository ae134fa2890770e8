// The native line protocol: request building with arbitrary values, and every reply parser
// on arbitrary replies. Input: selector byte, then value texts and a reply cut at 0x00.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "driver/protocols/native-protocol.hpp"
#include "fuzz/fuzz-support.hpp"

using namespace Korvalt::Ponderix::Driver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto& table = NativeCommandTable();
  const NativeCommand& row = table[data[0] % table.size()];
  const auto parts = FuzzSupport::Split(data + 1, size - 1, 2);
  const std::string& value = parts[0];
  const std::string& reply = parts[1];

  ErrorCase code = ErrorCase::Correct;
  const std::string request = row.request;
  const bool takesValue = request.find('@') != std::string::npos;
  ByteVector built = BuildNativeRequest(request, takesValue ? std::vector<std::string>{value}
                                                           : std::vector<std::string>{}, code);
  if (code == ErrorCase::Correct) {
    // One line exactly: the value never smuggles a line end in.
    if (std::count(built.begin(), built.end(), '\n') != 1 || built.back() != '\n') {
      FuzzSupport::Fail("request is not one line");
    }
  } else if (code != ErrorCase::ParamValueUnsupported || !built.empty()) {
    FuzzSupport::Fail("refused request has bytes or a wrong code");
  }

  ParseNativeAcknowledgement(ByteVector(reply.begin(), reply.end()));
  code = ErrorCase::Correct;
  if (*row.responseTemplate) {
    auto values = ParseNativeValue(row.responseTemplate, row.output, reply, code);
    if (code == ErrorCase::Correct) {
      if (values.size() != 1) FuzzSupport::Fail("matched reply without exactly one value");
      const std::string& got = values.begin()->second;
      if (got.find_first_of("\r\n") != std::string::npos) FuzzSupport::Fail("value holds a line end");
    }
  }
  code = ErrorCase::Correct;
  const std::string model = AssembleModelName(reply, code);
  if (code == ErrorCase::Correct && model.rfind("T-QZ ", 0) != 0) FuzzSupport::Fail("model name without its prefix");
  std::string division;
  DiscretFromIndex(value, division);
  IsNativeLineAnswer(static_cast<ErrorCase>(data[0] % 64));
  return 0;
}
