#include "driver/protocols/native-protocol.hpp"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "common/text-template.hpp"
#include "common/utf8.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/logging/logging.hpp"
#include "driver/protocols/pos-wait-until-scale-stabilizes-communicator.hpp"
#include "driver/protocols/protocol-families.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("command-executor");

const char kOk[] = "OK\r\n";
const char kError[] = "ERROR\r\n";
const char kModelRequest[] = "Gmode";
const char kModelPrefix[] = "T-QZ ";
const char kModelSuffix[] = " III(средний)";

std::string ToText(const ByteVector& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Longest reply line [bytes] taken from the scale; the longest real one is well under 40.
constexpr std::size_t kMaxReplyLine = 256;

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The value at the "@" of a template such as "max=@\r\n", at the first place in `text` where the
// template matches; the value holds no line break and is the shortest that lets the rest of the
// template follow. One pass over the text: bytes from a scale never decide the work or the stack.
bool MatchTemplate(const std::string& text, const std::string& responseTemplate, std::string& captured) {
  const auto at = responseTemplate.find('@');
  if (at == std::string::npos) return false;
  const std::string prefix = responseTemplate.substr(0, at);
  const std::string suffix = responseTemplate.substr(at + 1);
  std::size_t from = 0;
  for (;;) {
    const auto start = text.find(prefix, from);
    if (start == std::string::npos) return false;
    const auto valueBegin = start + prefix.size();
    std::size_t end = valueBegin;
    for (;; ++end) {
      if (text.compare(end, suffix.size(), suffix) == 0) {
        captured = text.substr(valueBegin, end - valueBegin);
        return true;
      }
      if (end >= text.size() || IsLineBreak(text[end])) break;
    }
    // Every later start before this line break ends at the same break, having failed already
    // (the table's keys hold no line break).
    from = std::max(end, start) + 1;
    if (from > text.size()) return false;
  }
}

// The non-blank run behind the first "<key>" that has one ("mode=510").
bool FirstValueAfter(const std::string& text, const std::string& key, std::string& captured) {
  for (auto start = text.find(key); start != std::string::npos; start = text.find(key, start + 1)) {
    auto end = start + key.size();
    while (end < text.size() && !IsBlank(text[end])) ++end;
    if (end > start + key.size()) {
      captured = text.substr(start + key.size(), end - start - key.size());
      return true;
    }
  }
  return false;
}

}  // namespace

const std::vector<NativeCommand>& NativeCommandTable() {
  using C = Command;
  using P = ParamType;
  static const std::vector<NativeCommand> table{
      {C::SetScalesModel, "Smode@\r\n", "", P::ScalesModel, P::Unset},
      {C::GetScalesModel, "Gmode\r\n", "mode=@\r\n", P::Unset, P::ScalesModel},
      {C::SetFirmwareVersion1, "Sver1@\r\n", "", P::FirmwareVersion1, P::Unset},
      {C::GetFirmwareVersion1, "Gver1\r\n", "ver1=@\r\n", P::Unset, P::FirmwareVersion1},
      {C::GetFirmwareVersion2, "Gver2\r\n", "ver2=@\r\n", P::Unset, P::FirmwareVersion2},
      {C::SetProtocolVersion, "Sprov@\r\n", "", P::ProtocolVersion, P::Unset},
      {C::GetProtocolVersion, "Gprov\r\n", "prov=@\r\n", P::Unset, P::ProtocolVersion},
      {C::SetSerialNumber, "Ssern@\r\n", "", P::SerialNumber, P::Unset},
      {C::GetSerialNumber, "Gsern\r\n", "sern=@\r\n", P::Unset, P::SerialNumber},
      {C::SetMaxWeight, "Smax@\r\n", "", P::MaxWeight, P::Unset},
      {C::GetMaxWeight, "Gmax\r\n", "max=@\r\n", P::Unset, P::MaxWeight},
      {C::SetDiscret, "Sdiv@\r\n", "", P::Discret, P::Unset},
      {C::GetDiscret, "Gdiv\r\n", "div=@\r\n", P::Unset, P::Discret},
      {C::SetValueOfAutoSetToZero, "Sazr@\r\n", "", P::ValueOfAutoSetToZero, P::Unset},
      {C::GetValueOfAutoSetToZero, "Gazr\r\n", "azr=@\r\n", P::Unset, P::ValueOfAutoSetToZero},
      {C::SetTimeOfAutoSetToZero, "Sazt@\r\n", "", P::TimeOfAutoSetToZero, P::Unset},
      {C::GetTimeOfAutoSetToZero, "Gazt\r\n", "azt=@\r\n", P::Unset, P::TimeOfAutoSetToZero},
      {C::SetRangeOfAutoSetToZero, "Spzr@\r\n", "", P::RangeOfAutoSetToZero, P::Unset},
      {C::GetRangeOfAutoSetToZero, "Gpzr\r\n", "pzr=@\r\n", P::Unset, P::RangeOfAutoSetToZero},
      {C::SetRangeOfKeyToZero, "Skzr@\r\n", "", P::RangeOfKeyToZero, P::Unset},
      {C::GetRangeOfKeyToZero, "Gkzr\r\n", "kzr=@\r\n", P::Unset, P::RangeOfKeyToZero},
      {C::SetRangeOfTare, "Sktr@\r\n", "", P::RangeOfTare, P::Unset},
      {C::GetRangeOfTare, "Gktr\r\n", "ktr=@\r\n", P::Unset, P::RangeOfTare},
      {C::SetRangeOfOverloads, "Sovr@\r\n", "", P::RangeOfOverloads, P::Unset},
      {C::GetRangeOfOverloads, "Govr\r\n", "ovr=@\r\n", P::Unset, P::RangeOfOverloads},
      {C::SetAutoOff, "Soff@\r\n", "", P::AutoOff, P::Unset},
      {C::GetAutoOff, "Goff\r\n", "off=@\r\n", P::Unset, P::AutoOff},
      {C::SetLightLevel, "Sbkl@\r\n", "", P::LightLevel, P::Unset},
      {C::GetLightLevel, "Gbkl\r\n", "bkl=@\r\n", P::Unset, P::LightLevel},
      {C::SetWeightCalibration, "Scal@\r\n", "", P::WeightCalibration, P::Unset},
      {C::GetWeightCalibration, "Gcal\r\n", "cal=@\r\n", P::Unset, P::WeightCalibration},
      {C::ZeroScaleCalibration, "Szcal\r\n", "", P::Unset, P::Unset},
      {C::WeightScaleCalibration, "Swcal\r\n", "", P::Unset, P::Unset},
      {C::SetWeightScaleCalibrationParameters, "Swcal@\r\n", "", P::WeightScaleCalibrationParameters, P::Unset},
      {C::Reboot, "Srst\r\n", "", P::Unset, P::Unset},
      {C::SetCountOfCalibration, "Scnt\r\n", "", P::Unset, P::Unset},
      {C::GetCountOfCalibration, "Gcnt\r\n", "cnt=@\r\n", P::Unset, P::CountOfCalibration},
      {C::SetModeOfCalibration, "Smodc@\r\n", "", P::ModeOfCalibration, P::Unset},
      {C::GetModeOfCalibration, "Gmodc\r\n", "modc=@\r\n", P::Unset, P::ModeOfCalibration},
      {C::SetUnitOfMeasure, "Su2en@\r\n", "", P::UnitOfMeasure, P::Unset},
      {C::GetUnitOfMeasure, "Gu2en\r\n", "u2en=@\r\n", P::Unset, P::UnitOfMeasure},
      {C::SetUnitOfMeasure2, "Su3en@\r\n", "", P::UnitOfMeasure, P::Unset},
      {C::GetUnitOfMeasure2, "Gu3en\r\n", "u3en=@\r\n", P::Unset, P::UnitOfMeasure},
      {C::SetPowerSavingMode, "Ssav@\r\n", "", P::PowerSavingMode, P::Unset},
      {C::GetPowerSavingMode, "Gsav\r\n", "sav=@\r\n", P::Unset, P::PowerSavingMode},
      {C::Init, "Sinit\r\n", "", P::Unset, P::Unset},
      {C::SetCell1, "Scell1@\r\n", "", P::Cell, P::Unset},
      {C::SetCell2, "Scell2@\r\n", "", P::Cell, P::Unset},
  };
  return table;
}

const NativeCommand* FindNativeCommand(Command command) {
  const auto& table = NativeCommandTable();
  auto row = std::find_if(table.begin(), table.end(), [command](const NativeCommand& c) { return c.command == command; });
  return row == table.end() ? nullptr : &*row;
}

ByteVector BuildNativeRequest(const std::string& requestTemplate, const std::vector<std::string>& values,
                              ErrorCase& code) {
  for (const auto& value : values) {
    if (std::any_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
      kLog.Error(Logging::ByteDump("PonderixCommandExecutor::MakeRequest, control character in value:",
                                   ByteVector(value.begin(), value.end())));
      code = ErrorCase::ParamValueUnsupported;
      return {};
    }
  }
  // Each value goes into the first "@" behind the previous one, so an "@" inside a value is
  // sent as it stands and never receives the next value.
  std::string text = requestTemplate;
  std::size_t from = 0;
  for (const auto& value : values) {
    auto at = text.find('@', from);
    if (at == std::string::npos) throw std::logic_error("Utility, formating, critical error, sub str not found");
    text.replace(at, 1, value);
    from = at + value.size();
  }
  return ByteVector(text.begin(), text.end());
}

ErrorCase ParseNativeAcknowledgement(const ByteVector& response) {
  const std::string text = ToText(response);
  if (text == kOk) return ErrorCase::Correct;
  if (text == kError) return ErrorCase::DeviceReturnsError;
  return ErrorCase::DeviceUnexpectedResponse;
}

OutputValues ParseNativeValue(const std::string& responseTemplate, ParamType output, const std::string& text,
                              ErrorCase& code) {
  if (text.size() > kMaxReplyLine) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  std::string value;
  if (!MatchTemplate(text, responseTemplate, value)) {
    code = text == kError ? ErrorCase::DeviceReturnsError : ErrorCase::DeviceUnexpectedResponse;
    return {};
  }
  return {{output, value}};
}

bool DiscretFromIndex(const std::string& index, std::string& division) {
  static const std::map<std::string, std::string> discret{{"0", "1"},  {"1", "2"},  {"2", "5"},
                                                          {"3", "10"}, {"4", "20"}, {"5", "50"}};
  // The index is a decimal number: "01" names the same division as "1".
  if (index.empty() || index.find_first_not_of("0123456789") != std::string::npos) return false;
  const auto digit = index.find_first_not_of('0');
  auto found = discret.find(digit == std::string::npos ? std::string("0") : index.substr(digit));
  if (found == discret.end()) return false;
  division = found->second;
  return true;
}

std::string AssembleModelName(const std::string& replies, ErrorCase& code) {
  // Four reply lines; the name goes into the store, which keeps UTF-8 text only.
  if (replies.size() > 4 * kMaxReplyLine || !Text::IsValidUtf8(replies)) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  std::string name = kModelPrefix;
  bool any = false;
  std::string captured;
  if (FirstValueAfter(replies, "mode=", captured)) {
    name += captured + "-";
    any = true;
  }
  if (FirstValueAfter(replies, "max=", captured)) {
    auto digit = captured.find_first_not_of('0');
    name += (digit == std::string::npos ? std::string("0") : captured.substr(digit)) + ".";
    any = true;
  }
  if (FirstValueAfter(replies, "div=", captured)) {
    std::string division;
    if (!DiscretFromIndex(captured, division)) {
      kLog.Error(Text::Fill("PonderixCommandModelExecutor::ParseByTemplate, division index [@] is not in the map",
                            captured));
      code = ErrorCase::DeviceResponseIncorrectFormat;
      return {};
    }
    name += division;
    any = true;
  }
  if (!any) {
    code = replies.rfind(kError, 0) == 0 ? ErrorCase::DeviceReturnsError : ErrorCase::DeviceUnexpectedResponse;
    return {};
  }
  return name + kModelSuffix;
}

bool IsNativeLineAnswer(ErrorCase code) {
  return code == ErrorCase::Correct || code == ErrorCase::DeviceReturnsError ||
         code == ErrorCase::DeviceUnexpectedResponse;
}

PonderixCommandExecutor::PonderixCommandExecutor(Command command, std::unique_ptr<ICommunicator> communicator,
                                                 std::vector<ParamType> inputTypes, std::vector<ParamType> outputTypes,
                                                 std::string requestTemplate, std::string responseTemplate,
                                                 std::vector<ResponseValidator> validators)
    : CommandExecutorByCommunicator(command, std::move(communicator)),
      inputTypes_(std::move(inputTypes)),
      outputTypes_(std::move(outputTypes)),
      requestTemplate_(std::move(requestTemplate)),
      responseTemplate_(std::move(responseTemplate)),
      validators_(std::move(validators)) {}

ByteVector PonderixCommandExecutor::MakeRequest(ProtocolContext& context, ErrorCase& code) {
  std::map<ParamType, std::string> inputs;
  for (ParamType type : inputTypes_) {
    std::string value = context.GetInputParam(type, code);
    if (code != ErrorCase::Correct) return {};
    inputs[type] = value;
  }
  std::vector<std::string> values;
  for (const auto& [type, value] : inputs) values.push_back(value);
  return BuildNativeRequest(requestTemplate_, values, code);
}

OutputValues PonderixCommandExecutor::ParseResponse(ProtocolContext&, const ByteVector& response, ErrorCase& code) {
  if (outputTypes_.empty()) {
    code = ParseNativeAcknowledgement(response);
    if (code != ErrorCase::Correct) {
      kLog.Error(Logging::ByteDump(Text::Fill("PonderixCommandExecutor::ParseResponse, command [@] refused:",
                                              ToString(command_)),
                                   response));
    }
    return {};
  }
  return ParseByTemplate(responseTemplate_, ToText(response), code);
}

std::vector<ResponseValidator> PonderixCommandExecutor::GetResponseValidators() { return validators_; }

OutputValues PonderixCommandExecutor::ParseByTemplate(const std::string& responseTemplate, const std::string& text,
                                                      ErrorCase& code) {
  OutputValues values = ParseNativeValue(responseTemplate, outputTypes_.front(), text, code);
  if (code != ErrorCase::Correct) {
    kLog.Error(Logging::ByteDump(
        Text::Fill("PonderixCommandExecutor::ParseByTemplate, reply does not match [@]:", responseTemplate),
        ByteVector(text.begin(), text.end())));
  }
  return values;
}

OutputValues PonderixCommandModelExecutor::ParseByTemplate(const std::string&, const std::string& text,
                                                           ErrorCase& code) {
  std::string name = AssembleModelName(text, code);
  if (code != ErrorCase::Correct) return {};
  return {{ParamType::ScalesModel, name}};
}

OutputValues GetProtocolVersionExecutor::ParseResponse(ProtocolContext&, const ByteVector& response, ErrorCase& code) {
  if (outputTypes_.empty()) {
    code = ErrorCase::DeviceUnexpectedResponse;
    return {};
  }
  return ParseByTemplate(responseTemplate_, ToText(response), code);
}

ByteVector PonderixCommunicator::Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                             ResponseValidator validator) {
  const std::string text = ToText(request);
  // Only the model query itself fans out: a Set whose value happens to hold "Gmode" is one line.
  if (text.size() > 4 && text.compare(0, sizeof(kModelRequest) - 1, kModelRequest) == 0) {
    // The model name is built from the model, the maximum weight and the division; the
    // protocol version closes the query.
    ByteVector replies;
    for (const char* line : {"", "Gmax\r\n", "Gdiv\r\n", "Gprov\r\n"}) {
      const std::string next = *line ? std::string(line) : text;
      ByteVector reply = Exchange(context, ByteVector(next.begin(), next.end()), code, validator);
      replies.insert(replies.end(), reply.begin(), reply.end());
    }
    return replies;
  }
  return Exchange(context, request, code, validator);
}

std::unique_ptr<ICommandExecutor> CreateNativeExecutor(Command command) {
  const NativeCommand* row = FindNativeCommand(command);
  if (row == nullptr) return nullptr;
  std::vector<ParamType> inputs;
  if (row->input != ParamType::Unset) inputs.push_back(row->input);
  std::vector<ParamType> outputs;
  if (row->output != ParamType::Unset) outputs.push_back(row->output);
  std::vector<ResponseValidator> validators{EndsWithCrLf};

  if (command == Command::SetWeightScaleCalibrationParameters) {
    // The calibration line is only valid once the load on the platform has settled.
    return std::make_unique<PonderixCommandExecutor>(command, std::make_unique<POSWaitUntilScaleStabilizesCommunicator>(),
                                                     inputs, outputs, row->request, row->responseTemplate, validators);
  }
  auto communicator = std::make_unique<PonderixCommunicator>();
  if (command == Command::GetScalesModel) {
    return std::make_unique<PonderixCommandModelExecutor>(command, std::move(communicator), inputs, outputs,
                                                          row->request, row->responseTemplate, validators);
  }
  if (command == Command::GetProtocolVersion) {
    return std::make_unique<GetProtocolVersionExecutor>(command, std::move(communicator), inputs, outputs,
                                                        row->request, row->responseTemplate, validators);
  }
  return std::make_unique<PonderixCommandExecutor>(command, std::move(communicator), inputs, outputs, row->request,
                                                   row->responseTemplate, validators);
}

}  // namespace Korvalt::Ponderix::Driver
