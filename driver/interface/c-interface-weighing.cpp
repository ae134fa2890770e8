// The C interface of weighing for a sale: sale weights, statuses, limits, tare in milligrams,
// health, statistics and capabilities.
#include <chrono>
#include <cstring>
#include <string>

#include "driver/interface/c-calls.hpp"
#include "driver/interface/c-names.hpp"
#include "driver/api/ponderix.h"
#include "driver/protocols/protocol-table.hpp"

using namespace Korvalt::Ponderix::Driver;
using namespace Korvalt::Ponderix::Driver::CCalls;

namespace {

void Line(std::string& text, const std::string& key, const std::string& value) { text += key + "=" + value + "\n"; }

std::string Number(std::uint64_t value) { return std::to_string(value); }

// The outcome of a sale read, a status read or a wait as the C interface reports it.
int Outcome(int code, SaleRefusal refusal) {
  return code == PDX_OK && refusal != SaleRefusal::None ? static_cast<int>(refusal) : code;
}

}  // namespace

extern "C" {

PDX_API int PDX_CALL pdx_read_sale_weight(pdx_handle handle, int timeout_ms, struct pdx_sale_weight* out) {
  if (out == nullptr || timeout_ms < 0) return PDX_INCORRECT_ARGUMENTS;
  std::memset(out, 0, sizeof *out);
  SaleWeight sale;
  SaleRefusal refusal = SaleRefusal::None;
  int code = OpenDeviceCall("pdx_read_sale_weight", handle, [&](Device& device, ErrorCase& result) {
    result = device.GetWeighing().ReadSaleWeight(device, timeout_ms, device.LineName(), sale, refusal);
  });
  out->status = static_cast<int>(sale.status);
  if (code != PDX_OK) {
    out->status = PDX_STATUS_NOT_READY;
    return code;
  }
  FillWeight(sale.reading, out->reading);
  out->sequence = sale.sequence;
  out->taken_at_ms = sale.takenAtMs;
  out->minimum_mg = sale.limits.minimumMg;
  out->maximum_mg = sale.limits.maximumMg;
  out->division_mg = sale.limits.divisionMg;
  return Outcome(code, refusal);
}

PDX_API int PDX_CALL pdx_set_sale_limits(pdx_handle handle, int64_t minimum_mg, int64_t maximum_mg,
                                         int64_t division_mg) {
  return DeviceCall("pdx_set_sale_limits", handle, [&](Device& device, ErrorCase& result) {
    device.GetWeighing().SetLimits({minimum_mg, maximum_mg, division_mg}, result);
  });
}

PDX_API int PDX_CALL pdx_get_status(pdx_handle handle, int* status, struct pdx_weight* reading) {
  return pdx_wait_status(handle, 0, 0, status, reading);
}

PDX_API int PDX_CALL pdx_wait_status(pdx_handle handle, int last_status, int timeout_ms, int* status,
                                     struct pdx_weight* reading) {
  if (status == nullptr || timeout_ms < 0) return PDX_INCORRECT_ARGUMENTS;
  *status = PDX_STATUS_NOT_READY;
  if (reading) std::memset(reading, 0, sizeof *reading);
  ReadingStatus found = ReadingStatus::NotReady;
  WeightReading taken;
  const int code = OpenDeviceCall("pdx_wait_status", handle, [&](Device& device, ErrorCase& result) {
    result = device.GetWeighing().WaitStatus(device, last_status, timeout_ms, found, taken);
  });
  *status = static_cast<int>(found);
  if (reading && found != ReadingStatus::NotReady) FillWeight(taken, *reading);
  return code;
}

PDX_API int PDX_CALL pdx_specify_tare_mg(pdx_handle handle, int64_t tare_mg) {
  return OpenDeviceCall("pdx_specify_tare_mg", handle, [&](Device& device, ErrorCase& result) {
    device.GetWeighing().SpecifyTare(device, tare_mg, result);
  });
}

PDX_API int PDX_CALL pdx_check_health(pdx_handle handle, int level, char* buffer, size_t size, size_t* needed) {
  if (needed) *needed = 0;
  if (level != 1 && level != 2) return PDX_INCORRECT_ARGUMENTS;
  std::string text;
  bool open = false;
  int exchange = PDX_OK;
  const int code = DeviceCall("pdx_check_health", handle, [&](Device& device, ErrorCase&) {
    Weighing& weighing = device.GetWeighing();
    open = device.HasOpenLine();
    Line(text, "open", open ? "1" : "0");
    Line(text, "protocol", device.GetProtocol());
    Line(text, "end_point", device.LineName());
    if (level == 2 && open) {
      const auto start = std::chrono::steady_clock::now();
      ReadingStatus status = ReadingStatus::NotReady;
      WeightReading reading;
      exchange = Code(weighing.GetStatus(device, status, reading));
      const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      Line(text, "status", std::to_string(static_cast<int>(status)));
      Line(text, "exchange_ms", std::to_string(took.count()));
      if (!device.ReportedModel().empty()) Line(text, "model", device.ReportedModel());
      const ProtocolRow* row = FindProtocol(device.GetProtocol());
      if (exchange == PDX_OK && row && AnswersNative(*row)) {
        ErrorCase serial = ErrorCase::Correct;
        const OutputValues outputs = device.RunOtherCommand(Command::GetSerialNumber, serial);
        const auto number = outputs.find(ParamType::SerialNumber);
        if (serial == ErrorCase::Correct && number != outputs.end()) Line(text, "serial_number", number->second);
      }
    }
    const WeighingStatistics& statistics = weighing.Statistics();
    Line(text, "last_result", ResultName(Code(weighing.LastResult())));
    Line(text, "exchanges", Number(statistics.exchanges));
    Line(text, "failed_exchanges", Number(statistics.failedExchanges));
  });
  if (code != PDX_OK) return code;
  const int copied = CopyOut(text, buffer, size, needed);
  if (copied != PDX_OK) return copied;
  if (!open) return PDX_NOT_OPEN;
  return exchange;
}

PDX_API int PDX_CALL pdx_get_statistics(pdx_handle handle, char* buffer, size_t size, size_t* needed) {
  return DeviceTextCall("pdx_get_statistics", handle, buffer, size, needed, [](Device& device, ErrorCase&) {
    const WeighingStatistics& statistics = device.GetWeighing().Statistics();
    std::string text;
    Line(text, "exchanges", Number(statistics.exchanges));
    Line(text, "failed_exchanges", Number(statistics.failedExchanges));
    for (const auto& [result, count] : statistics.failedBy) {
      const char* name = ResultName(Code(result));
      Line(text, std::string("failed.") + (name ? name : std::to_string(Code(result)).c_str()), Number(count));
    }
    Line(text, "timeouts", Number(statistics.timeouts));
    Line(text, "reconnects", Number(statistics.reconnects));
    Line(text, "sale_weights", Number(statistics.saleWeights));
    for (SaleRefusal refusal : {SaleRefusal::Unstable, SaleRefusal::UnderZero, SaleRefusal::Overload,
                                SaleRefusal::BelowMinimum, SaleRefusal::SameWeight, SaleRefusal::Zero}) {
      const auto counted = statistics.refused.find(refusal);
      Line(text, std::string("refused.") + RefusalKey(refusal),
           Number(counted == statistics.refused.end() ? 0 : counted->second));
    }
    return text;
  });
}

PDX_API int PDX_CALL pdx_get_capabilities(pdx_handle handle, struct pdx_capabilities* out) {
  if (out == nullptr) return PDX_INCORRECT_ARGUMENTS;
  std::memset(out, 0, sizeof *out);
  return DeviceCall("pdx_get_capabilities", handle, [&](Device& device, ErrorCase&) {
    if (const ProtocolRow* row = FindProtocol(device.GetProtocol())) {
      out->can_zero = Maps(*row, Command::SetZero);
      out->can_tare = Maps(*row, Command::SetTare);
      out->can_specify_tare = Maps(*row, Command::SpecifyTare);
      const StatusReports reports = ReportsOf(*row);
      out->reports_stable = reports.stable;
      out->reports_overload = reports.overload;
      out->reports_net = reports.net;
      out->reports_tare = reports.tare;
    }
    const SaleLimits limits = device.GetWeighing().Limits();
    out->maximum_known = limits.maximumMg > 0;
    out->division_known = limits.divisionMg > 0;
  });
}

}  // extern "C"
