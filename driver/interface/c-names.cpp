#include "driver/interface/c-names.hpp"

#include <array>
#include <cstdint>
#include <iterator>

#include "driver/interface/defines.hpp"
#include "driver/api/ponderix.h"

namespace Korvalt::Ponderix::Driver::CCalls {
namespace {

struct CodeRow {
  int code;
  const char* name;
  // The C interface's own codes carry their texts, as does a library code the library's table
  // leaves without one; the others use that table.
  const char* english = nullptr;
  const char* russian = nullptr;
};

const CodeRow kCodes[] = {
    {PDX_OK, "Ok"},
    {PDX_UNSET, "Unset"},
    {PDX_ERROR_CASE_UNKNOWN, "ErrorCaseUnknown", "No such result code.", "Такого кода результата нет."},
    {PDX_INCORRECT_ARGUMENTS, "IncorrectArguments"},
    {PDX_CONNECTION_ERROR, "ConnectionError"},
    {PDX_UNABLE_TO_OPEN_SERIAL_PORT, "UnableToOpenSerialPort"},
    {PDX_UNKNOWN_SYSTEM_ERROR, "UnknownSystemError"},
    {PDX_TIME_OUT, "TimeOut"},
    {PDX_HANDLE_NULL, "HandleNull"},
    {PDX_HANDLE_INVALID, "HandleInvalid"},
    {PDX_HANDLE_DOES_NOT_EXIST, "HandleDoesNotExist"},
    {PDX_PARAM_TYPE_UNKNOWN, "ParamTypeUnknown"},
    {PDX_PARAM_TYPE_UNSUPPORTED, "ParamTypeUnsupported"},
    {PDX_PARAM_TYPE_IS_NOT_SET_TO_GET, "ParamTypeIsNotSetToGet"},
    {PDX_OPTION_UNKNOWN, "OptionUnknown"},
    {PDX_OPTION_UNSUPPORTED, "OptionUnsupported"},
    {PDX_OPTION_IS_NOT_SET_TO_GET, "OptionIsNotSetToGet"},
    {PDX_PARAM_VALUE_UNKNOWN, "ParamValueUnknown"},
    {PDX_PARAM_VALUE_UNSUPPORTED, "ParamValueUnsupported"},
    {PDX_PARAM_VALUE_UNSET, "ParamValueUnset"},
    {PDX_COMMAND_UNKNOWN, "CommandUnknown"},
    {PDX_COMMAND_UNSUPPORTED, "CommandUnsupported"},
    {PDX_DEVICE_RESPONSE_INCORRECT_FORMAT, "DeviceResponseIncorrectFormat"},
    {PDX_DEVICE_UNEXPECTED_RESPONSE, "DeviceUnexpectedResponse"},
    {PDX_DEVICE_RETURNS_ERROR, "DeviceReturnsError"},
    {PDX_DEVICE_IS_NOT_STABILIZED, "DeviceIsNotStabilized"},
    {PDX_UNKNOWN_EXCEPTION, "UnknownException"},
    {PDX_OPEN_CHECK_VALUES_NOT_EQUAL, "OpenCheckValuesNotEqual"},
    {PDX_JSON_KEY_MISSING, "JsonKeyMissing"},
    {PDX_JSON_ANOTHER_FILE_EXTENSION, "JsonAnotherFileExtension"},
    {PDX_JSON_FILE_DOES_NOT_EXIST, "JsonFileDoesNotExist"},
    {PDX_JSON_FILE_PARSING_PROBLEM, "JsonFileParsingProblem"},
    {PDX_COMMAND_LINE_INCORRECT_ARGUMENT, "CommandLineIncorrectArgument"},
    {PDX_UNABLE_TO_OPEN_FILE, "UnableToOpenFile"},
    {PDX_WRONG_MODEL_CHOSEN, "WrongModelChosen"},
    {PDX_ESCAPE_CLICKED, "EscapeClicked"},
    {PDX_LOGIC_DEVICE_JSON_ERROR, "LogicDeviceJsonError"},
    {PDX_LOGIC_DEVICE_NOT_FOUND, "LogicDeviceNotFound"},
    {PDX_NOT_ALL_PARAMS_ARE_SET, "NotAllParamsAreSet"},
    {PDX_BUFFER_TOO_SMALL, "BufferTooSmall",
     "The buffer is too small for the text; the size it needs was given.",
     "Буфер мал для текста; нужный размер передан."},
    {PDX_WEIGHT_UNSTABLE, "WeightUnstable",
     "The weight did not settle within the time-out: wait until the load is still.",
     "Вес не успокоился за отведённое время: дождитесь, пока груз успокоится."},
    {PDX_WEIGHT_UNDER_ZERO, "WeightUnderZero",
     "The weight is below zero: empty the platform and zero the scale.",
     "Вес ниже нуля: освободите платформу и обнулите весы."},
    {PDX_WEIGHT_OVERLOAD, "WeightOverload",
     "The load is beyond the scale's range: take it off.",
     "Нагрузка превышает предел взвешивания: снимите груз."},
    {PDX_WEIGHT_BELOW_MINIMUM, "WeightBelowMinimum",
     "The weight is below the smallest weight the scale may sell by.",
     "Вес меньше наименьшего предела взвешивания."},
    {PDX_WEIGHT_SAME, "WeightSame",
     "The load has not been taken off since the last sale weight: take it off first.",
     "Груз не снимали с весов после прошлого взвешивания: сначала снимите его."},
    {PDX_WEIGHT_ZERO, "WeightZero",
     "Nothing is on the platform.",
     "На платформе ничего нет."},
    {PDX_NOT_OPEN, "NotOpen",
     "The device is not open: open it first.",
     "Устройство не открыто: сначала откройте его."},
};

const CodeRow* Find(int code) {
  for (const auto& row : kCodes) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace

const char* ResultName(int code) {
  const CodeRow* row = Find(code);
  return row ? row->name : nullptr;
}

bool ResultDescription(int code, int language, std::string& text) {
  const CodeRow* row = Find(code);
  if (row == nullptr || !IsKnownLanguage(language)) return false;
  if (row->english) {  // before the library's table: it has no text for these
    text = language == kLanguageEnglish ? row->english : row->russian;
    return true;
  }
  const auto ecase = static_cast<ErrorCase>(code);
  if (!HasDescription(ecase, language)) return false;
  text = ToUtf8(Description(ecase, language));
  return true;
}

const int* ResultCodes(int& count) {
  static const auto codes = [] {
    std::array<int, std::size(kCodes)> all{};
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = kCodes[i].code;
    return all;
  }();
  count = static_cast<int>(codes.size());
  return codes.data();
}

std::string ToUtf8(const std::wstring& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = static_cast<std::uint32_t>(text[i]);
    // wchar_t is UTF-16 on Windows: join a surrogate pair.
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      const auto low = static_cast<std::uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace Korvalt::Ponderix::Driver::CCalls
