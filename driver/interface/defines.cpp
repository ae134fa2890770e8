#include "driver/interface/defines.hpp"

#include <map>
#include <stdexcept>

namespace Korvalt::Ponderix::Driver {
namespace {

using DescriptionTable = std::map<int, std::map<ErrorCase, std::wstring>>;

// Built once; the texts are fixed. The two letters "Ta" and the final "a" of "Taйм-аут Boost-a",
// and the final "a" of "Неизвестная ошибка Boost-a", are Latin letters.
const DescriptionTable& Descriptions() {
  static const DescriptionTable table{
    {kLanguageRussian, {
      {ErrorCase::Correct, L"\u0423\u0441\u043F\u0435\u0448\u043D\u043E"},
      {ErrorCase::Unset, L"\u041E\u0448\u0438\u0431\u043A\u0430 \u043D\u0435 \u0443\u0441\u0442\u0430\u043D\u043E\u0432\u043B\u0435\u043D\u0430"},
      {ErrorCase::IncorrectArgumnts, L"\u0422\u0435\u0445\u043D\u0438\u0447\u0435\u0441\u043A\u0430\u044F \u043F\u0440\u043E\u0431\u043B\u0435\u043C\u0430, \u043F\u0435\u0440\u0435\u0434\u0430\u043D \u043D\u0435\u0432\u0435\u0440\u043D\u044B\u0439 \u0430\u0440\u0433\u0443\u043C\u0435\u043D\u0442"},
      {ErrorCase::ConnectionError, L"\u041E\u0448\u0438\u0431\u043A\u0430 \u043F\u043E\u0434\u043A\u043B\u044E\u0447\u0435\u043D\u0438\u044F"},
      {ErrorCase::UnableToOpenSerialPort, L"\u041D\u0435 \u0443\u0434\u0430\u0435\u0442\u0441\u044F \u043E\u0442\u043A\u0440\u044B\u0442\u044C \u0441\u0435\u0440\u0438\u0439\u043D\u044B\u0439 \u043F\u043E\u0440\u0442"},
      {ErrorCase::BoostErrorUnknown, L"\u041D\u0435\u0438\u0437\u0432\u0435\u0441\u0442\u043D\u0430\u044F \u043E\u0448\u0438\u0431\u043A\u0430 Boost-a"},
      {ErrorCase::BoostTimeOut, L"Ta\u0439\u043C-\u0430\u0443\u0442 Boost-a"},
      {ErrorCase::HandleNull, L"\u0422\u0435\u0445\u043D\u0438\u0447\u0435\u0441\u043A\u0430\u044F \u043F\u0440\u043E\u0431\u043B\u0435\u043C\u0430, \u0434\u0430\u043D\u043D\u044B\u0435 \u043D\u0435\u0432\u0435\u0440\u043D\u044B: HandleNull"},
      {ErrorCase::HandleInvalid, L"\u0422\u0435\u0445\u043D\u0438\u0447\u0435\u0441\u043A\u0430\u044F \u043F\u0440\u043E\u0431\u043B\u0435\u043C\u0430, \u0434\u0430\u043D\u043D\u044B\u0435 \u043D\u0435\u0432\u0435\u0440\u043D\u044B: HandleInvalid"},
      {ErrorCase::HandleDoesNotExist, L"\u0422\u0435\u0445\u043D\u0438\u0447\u0435\u0441\u043A\u0430\u044F \u043F\u0440\u043E\u0431\u043B\u0435\u043C\u0430, \u0434\u0430\u043D\u043D\u044B\u0435 \u043D\u0435\u0432\u0435\u0440\u043D\u044B: HandleDoesNotExist"},
      {ErrorCase::ParamTypeUnknown, L"\u041D\u0435\u0438\u0437\u0432\u0435\u0441\u0442\u043D\u044B\u0439 \u0442\u0438\u043F \u043F\u0430\u0440\u0430\u043C\u0435\u0442\u0440\u0430"},
      {ErrorCase::ParamTypeUnsupported, L"\u041F\u0430\u0440\u0430\u043C\u0435\u0442\u0440 \u043D\u0435 \u043F\u043E\u0434\u0434\u0435\u0440\u0436\u0438\u0432\u0430\u0435\u0442\u0441\u044F"},
      {ErrorCase::ParamTypeIsNotSetToGet, L"\u041F\u0430\u0440\u0430\u043C\u0435\u0442\u0440 \u043D\u0435 \u0443\u0441\u0442\u0430\u043D\u043E\u0432\u043B\u0435\u043D"},
      {ErrorCase::OptionUnknown, L"\u041E\u043F\u0446\u0438\u044F \u043D\u0435\u0438\u0437\u0432\u0435\u0441\u0442\u043D\u0430"},
      {ErrorCase::OptionUnsupported, L"\u041E\u043F\u0446\u0438\u044F \u043D\u0435 \u043F\u043E\u0434\u0434\u0435\u0440\u0436\u0438\u0432\u0430\u0435\u0442\u0441\u044F"},
      {ErrorCase::OptionIsNotSetToGet, L"\u041E\u043F\u0446\u0438\u044F \u043D\u0435 \u0443\u0441\u0442\u0430\u043D\u043E\u0432\u043B\u0435\u043D\u0430"},
      {ErrorCase::ParamValueUnknown, L"\u0417\u043D\u0430\u0447\u0435\u043D\u0438\u0435 \u043F\u0430\u0440\u0430\u043C\u0435\u0442\u0440\u0430 \u043D\u0435\u0438\u0437\u0432\u0435\u0441\u0442\u043D\u043E"},
      {ErrorCase::ParamValueUnsupported, L"\u0417\u043D\u0430\u0447\u0435\u043D\u0438\u0435 \u043F\u0430\u0440\u0430\u043C\u0435\u0442\u0440\u0430 \u043D\u0435 \u043F\u043E\u0434\u0434\u0435\u0440\u0436\u0438\u0432\u0430\u0435\u0442\u0441\u044F"},
      {ErrorCase::ParamValueUnset, L"\u0417\u043D\u0430\u0447\u0435\u043D\u0438\u0435 \u043F\u0430\u0440\u0430\u043C\u0435\u0442\u0440\u0430 \u043D\u0435 \u0443\u0441\u0442\u0430\u043D\u043E\u0432\u043B\u0435\u043D\u043E"},
      {ErrorCase::CommandUnknown, L"\u041D\u0435\u0438\u0437\u0432\u0435\u0441\u0442\u043D\u0430\u044F \u043A\u043E\u043C\u0430\u043D\u0434\u0430"},
      {ErrorCase::CommandUnsupported, L"\u041A\u043E\u043C\u0430\u043D\u0434\u0430 \u043D\u0435 \u043F\u043E\u0434\u0434\u0435\u0440\u0436\u0438\u0432\u0430\u0435\u0442\u0441\u044F"},
      {ErrorCase::DeviceResponseIncorrectFormat, L"\u041D\u0435\u0432\u0435\u0440\u043D\u044B\u0439 \u0444\u043E\u0440\u043C\u0430\u0442 \u043E\u0442\u0432\u0435\u0442\u0430 \u0443\u0441\u0442\u0440\u043E\u0439\u0441\u0442\u0432\u0430"},
      {ErrorCase::DeviceUnexpectedResponse, L"\u041D\u0435\u043E\u0436\u0438\u0434\u0430\u043D\u043D\u044B\u0439 \u043E\u0442\u0432\u0435\u0442 \u0443\u0441\u0442\u0440\u043E\u0439\u0441\u0442\u0432\u0430"},
      {ErrorCase::DeviceReturnsError, L"\u0423\u0441\u0442\u0440\u043E\u0439\u0441\u0442\u0432\u043E \u0432\u0435\u0440\u043D\u0443\u043B\u043E \u043E\u0448\u0438\u0431\u043A\u0443"},
      {ErrorCase::DeviceIsNotStabilized, L"\u0423\u0441\u0442\u0440\u043E\u0439\u0441\u0442\u0432\u043E \u043D\u0435 \u0441\u0442\u0430\u0431\u0438\u043B\u0438\u0437\u0438\u0440\u043E\u0432\u0430\u043D\u043E"},
      {ErrorCase::UnknownExceptionWasCaught, L"\u0412\u043E\u0437\u043D\u0438\u043A\u043B\u0430 \u043D\u0435\u0438\u0437\u0432\u0435\u0441\u0442\u043D\u0430\u044F \u043E\u0448\u0438\u0431\u043A\u0430"},
      {ErrorCase::OpenCheckValuesIsNotEq, L"\u041D\u0435 \u0443\u0434\u0430\u043B\u043E\u0441\u044C \u043F\u043E\u0434\u043A\u043B\u044E\u0447\u0438\u0442\u044C\u0441\u044F. (\u041C\u043E\u0436\u0435\u0442 \u0431\u044B\u0442\u044C, \u0443\u043A\u0430\u0437\u0430\u043D\u0430 \u043D\u0435\u0432\u0435\u0440\u043D\u0430\u044F \u043C\u043E\u0434\u0435\u043B\u044C \u0438\u043B\u0438 \u043F\u0440\u043E\u0442\u043E\u043A\u043E\u043B)"},
      {ErrorCase::JSONKeyMissing, L"\u041E\u0442\u0441\u0443\u0442\u0441\u0442\u0432\u0443\u0435\u0442 JSON \u043A\u043B\u044E\u0447"},
      {ErrorCase::JSONAnotherFileExtension, L"\u0414\u0440\u0443\u0433\u043E\u0435 \u0440\u0430\u0441\u0448\u0438\u0440\u0435\u043D\u0438\u0435 JSON \u0444\u0430\u0439\u043B\u0430"},
      {ErrorCase::JSONFileDoesNotExist, L"JSON \u0444\u0430\u0439\u043B \u043D\u0435 \u0441\u0443\u0449\u0435\u0441\u0442\u0432\u0443\u0435\u0442"},
      {ErrorCase::JSONFileParsingProblem, L"\u041F\u0440\u043E\u0431\u043B\u0435\u043C\u0430 \u043F\u0430\u0440\u0441\u0438\u043D\u0433\u0430 JSON \u0444\u0430\u0439\u043B\u0430"},
      {ErrorCase::CommandLineIncorrectArgument, L"\u041D\u0435\u043F\u0440\u0430\u0432\u0438\u043B\u044C\u043D\u044B\u0439 \u0430\u0440\u0433\u0443\u043C\u0435\u043D\u0442 \u043A\u043E\u043C\u043C\u0430\u043D\u0434\u043D\u043E\u0439 \u0441\u0442\u0440\u043E\u043A\u0438"},
      {ErrorCase::UnableToOpenFile, L"\u041D\u0435 \u0443\u0434\u0430\u043B\u043E\u0441\u044C \u043E\u0442\u043A\u0440\u044B\u0442\u044C \u0444\u0430\u0439\u043B"},
      {ErrorCase::WrongModelChosen, L"\u0412\u044B\u0431\u0440\u0430\u043D\u0430 \u043D\u0435\u043F\u0440\u0430\u0432\u0438\u043B\u044C\u043D\u0430\u044F \u043C\u043E\u0434\u0435\u043B\u044C"},
      {ErrorCase::EscapeClicked, L"\u041A\u043D\u043E\u043F\u043A\u0430 Escape \u043D\u0430\u0436\u0430\u0442\u0430"},
      {ErrorCase::LogicDeviceJSONError, L"\u041E\u0448\u0438\u0431\u043A\u0430 \u0432 JSON \u0444\u0430\u0439\u043B\u0435 \u043B\u043E\u0433\u0438\u0447\u0435\u0441\u043A\u0438\u0445 \u0443\u0441\u0442\u0440\u043E\u0439\u0441\u0442\u0432"},
      {ErrorCase::LogicDeviceNotFound, L"\u041B\u043E\u0433\u0438\u0447\u0435\u0441\u043A\u043E\u0435 \u0443\u0441\u0442\u0440\u043E\u0439\u0441\u0442\u0432\u043E \u043D\u0435 \u043D\u0430\u0439\u0434\u0435\u043D\u043E"},
      {ErrorCase::NotAllParamsAreSetInLogicDevice, L"\u041D\u0435 \u0437\u0430\u0434\u0430\u043D\u044B \u0432\u0441\u0435 \u043D\u0435\u043E\u0431\u0445\u043E\u0434\u0438\u043C\u044B\u0435 \u043F\u0430\u0440\u0430\u043C\u0435\u0442\u0440\u044B \u043B\u043E\u0433\u0438\u0447\u0435\u0441\u043A\u043E\u0433\u043E \u0443\u0441\u0442\u0440\u043E\u0439\u0441\u0442\u0432\u0430"},
    }},
    {kLanguageEnglish, {
      {ErrorCase::Correct, L"Success"},
      {ErrorCase::Unset, L"Error not set"},
      {ErrorCase::IncorrectArgumnts, L"Technical issue, incorrect argument passed"},
      {ErrorCase::ConnectionError, L"Connection error"},
      {ErrorCase::UnableToOpenSerialPort, L"Unable to open serial port"},
      {ErrorCase::BoostErrorUnknown, L"Unknown Boost error"},
      {ErrorCase::BoostTimeOut, L"Boost timeout"},
      {ErrorCase::HandleNull, L"Technical issue, data is invalid: HandleNull"},
      {ErrorCase::HandleInvalid, L"Technical issue, data is invalid: HandleInvalid"},
      {ErrorCase::HandleDoesNotExist, L"Technical issue, data is invalid: HandleDoesNotExist"},
      {ErrorCase::ParamTypeUnknown, L"Unknown parameter type"},
      {ErrorCase::ParamTypeUnsupported, L"Parameter not supported"},
      {ErrorCase::ParamTypeIsNotSetToGet, L"Parameter not set"},
      {ErrorCase::OptionUnknown, L"Option unknown"},
      {ErrorCase::OptionUnsupported, L"Option unsupported"},
      {ErrorCase::OptionIsNotSetToGet, L"Option is not set to get"},
      {ErrorCase::ParamValueUnknown, L"Unknown parameter value"},
      {ErrorCase::ParamValueUnsupported, L"Parameter value not supported"},
      {ErrorCase::ParamValueUnset, L"Parameter value not set"},
      {ErrorCase::CommandUnknown, L"Unknown command"},
      {ErrorCase::CommandUnsupported, L"Command not supported"},
      {ErrorCase::DeviceResponseIncorrectFormat, L"Incorrect device response format"},
      {ErrorCase::DeviceUnexpectedResponse, L"Unexpected device response"},
      {ErrorCase::DeviceReturnsError, L"Device returns an error"},
      {ErrorCase::DeviceIsNotStabilized, L"Device is not stabilized"},
      {ErrorCase::UnknownExceptionWasCaught, L"Unknown exception was caught"},
      {ErrorCase::JSONKeyMissing, L"JSON key missing"},
      {ErrorCase::JSONAnotherFileExtension, L"JSON another file extension"},
      {ErrorCase::JSONFileDoesNotExist, L"JSON file does not exist"},
      {ErrorCase::JSONFileParsingProblem, L"JSON file parsing problem"},
      {ErrorCase::CommandLineIncorrectArgument, L"Command line incorrect argument"},
      {ErrorCase::UnableToOpenFile, L"Unable to open file"},
      {ErrorCase::WrongModelChosen, L"Wrong model chosen"},
      {ErrorCase::EscapeClicked, L"Escape button clicked"},
      {ErrorCase::LogicDeviceJSONError, L"Logic device JSON error"},
      {ErrorCase::LogicDeviceNotFound, L"Logic device not found"},
      {ErrorCase::NotAllParamsAreSetInLogicDevice, L"Not all parameters are set in logic device"},
      // No English text was ever given for this code; this one says what the Russian says.
      {ErrorCase::OpenCheckValuesIsNotEq, L"Unable to connect (the model or protocol may be wrong)"},
    }},
  };
  return table;
}

}  // namespace

bool IsKnownLanguage(int language) { return Descriptions().count(language) != 0; }

bool HasDescription(ErrorCase ecase, int language) {
  auto lang = Descriptions().find(language);
  return lang != Descriptions().end() && lang->second.count(ecase) != 0;
}

std::wstring Description(ErrorCase ecase, int language) {
  auto lang = Descriptions().find(language);
  if (lang == Descriptions().end()) {
    throw std::logic_error("Korvalt::Ponderix::Driver::defines, Description() the language: " +
                           std::to_string(language) + " is not supported");
  }
  auto text = lang->second.find(ecase);
  if (text == lang->second.end()) {
    throw std::logic_error("Korvalt::Ponderix::Driver::defines, Description() the error-case: " +
                           std::to_string(static_cast<int>(ecase)) + " is not supported");
  }
  return text->second;
}

}  // namespace Korvalt::Ponderix::Driver
