#include "service/scale-worker.hpp"

#include <sstream>

#include <algorithm>

#include "service/metrics.hpp"

namespace ScaleService {

namespace {

using Clock = std::chrono::steady_clock;

// After a failed exchange, streams and idle reads wait this long before the next attempt, so a
// scale that is away is not hammered; a request still gets an attempt of its own [ms].
constexpr int kRetryPauseMs = 500;

std::string Text(int (*get)(pdx_handle, int, char*, size_t, size_t*), pdx_handle handle, int param, bool& ok) {
  char buffer[256] = "";
  ok = get(handle, param, buffer, sizeof buffer, nullptr) == PDX_OK;
  return ok ? std::string(buffer) : std::string();
}

// Results after which the line is closed and opened again on the next exchange: the device went
// away or stopped answering.
bool LineLost(int code) {
  return code == PDX_CONNECTION_ERROR || code == PDX_UNABLE_TO_OPEN_SERIAL_PORT || code == PDX_TIME_OUT ||
         code == PDX_UNKNOWN_EXCEPTION;
}

}  // namespace

const char* StateName(ScaleState state) {
  switch (state) {
    case ScaleState::Opening: return "opening";
    case ScaleState::Ready: return "ready";
    case ScaleState::Error: return "error";
  }
  return "error";
}

std::string ResultName(int code) {
  const char* name = pdx_result_name(code);
  return name ? name : "Result" + std::to_string(code);
}

std::string ResultMessage(int code) {
  char text[512] = "";
  if (pdx_get_error_description(code, PDX_LANGUAGE_ENGLISH, text, sizeof text, nullptr) != PDX_OK) return ResultName(code);
  return text;
}

ScaleWorker::ScaleWorker(ScaleSpec spec, const ServiceSettings& settings, Metrics& metrics)
    : spec_(std::move(spec)), settings_(settings), metrics_(metrics) {
  info_.name = spec_.name;
  info_.connection = spec_.text;
  info_.protocol = spec_.protocol;
}

ScaleWorker::~ScaleWorker() { Stop(); }

int ScaleWorker::FindProfile() {
  int ids[256];
  size_t count = 0;
  int code = pdx_get_logic_device_ids(handle_, ids, 256, &count);
  for (size_t i = 0; code == PDX_OK && i < count && logicDevice_ < 0; ++i) {
    char name[256] = "";
    if (pdx_get_logic_device_param(handle_, ids[i], PDX_LD_NAME, name, sizeof name, nullptr) == PDX_OK &&
        spec_.endPoint == name) {
      logicDevice_ = ids[i];
    }
  }
  if (code == PDX_OK && logicDevice_ < 0) code = PDX_LOGIC_DEVICE_NOT_FOUND;
  if (code != PDX_OK) return code;
  bool ok = false;
  std::string protocol = Text(
      [](pdx_handle h, int id, char* b, size_t s, size_t* n) { return pdx_get_logic_device_param(h, id, PDX_LD_PROTOCOL, b, s, n); },
      handle_, logicDevice_, ok);
  if (ok) info_.protocol = protocol;
  return PDX_OK;
}

int ScaleWorker::DescribeLine() {
  int code = pdx_add_logic_device(handle_, &logicDevice_);
  const bool tcp = spec_.kind == ScaleSpec::Kind::Tcp;
  const std::pair<int, std::string> settings[] = {
      {PDX_LD_NAME, "scale-service " + spec_.name},
      {PDX_LD_CONNECTION_TYPE, tcp ? "TCP" : "Serial Port"},
      {PDX_LD_END_POINT, spec_.endPoint},
      {PDX_LD_BAUD_RATE, spec_.baud},
      {PDX_LD_MODEL, "auto"},
      {PDX_LD_PROTOCOL, spec_.protocol},
  };
  for (const auto& [type, value] : settings) {
    if (code == PDX_OK) code = pdx_set_logic_device_param(handle_, logicDevice_, type, value.c_str());
  }
  return code;
}

int ScaleWorker::Start() {
  int code = pdx_create(&handle_);
  if (code != PDX_OK) return code;
  code = spec_.kind == ScaleSpec::Kind::Profile ? FindProfile() : DescribeLine();
  if (code != PDX_OK) {
    std::lock_guard<std::mutex> lock(mutex_);
    info_.state = ScaleState::Error;
    info_.lastCode = code;
    return code;
  }
  thread_ = std::thread([this] { Run(); });
  return PDX_OK;
}

void ScaleWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (handle_ != 0) {
    CloseLine();
    if (spec_.kind != ScaleSpec::Kind::Profile && logicDevice_ >= 0) pdx_delete_logic_device(handle_, logicDevice_);
    pdx_destroy(handle_);
    handle_ = 0;
  }
  // Whoever still waits gets an answer rather than silence.
  std::vector<ReadingCallback> waiting;
  std::deque<PendingCommand> commands;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting.swap(waiting_);
    commands.swap(commands_);
  }
  Reading gone;
  gone.code = PDX_CONNECTION_ERROR;
  gone.readAt = std::chrono::system_clock::now();
  for (auto& callback : waiting) callback(gone);
  for (auto& command : commands) command.callback(PDX_CONNECTION_ERROR);
}

void ScaleWorker::RequestReading(ReadingCallback callback) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_ && thread_.joinable()) {
      waiting_.push_back(std::move(callback));
      callback = nullptr;
    }
  }
  if (callback) {
    Reading failed;
    failed.code = info_.lastCode != PDX_OK ? info_.lastCode : PDX_CONNECTION_ERROR;
    failed.readAt = std::chrono::system_clock::now();
    callback(failed);
    return;
  }
  wake_.notify_all();
}

int ScaleWorker::Subscribe(ReadingCallback callback) {
  int id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = nextSubscriber_++;
    subscribers_.emplace(id, std::move(callback));
  }
  wake_.notify_all();
  return id;
}

void ScaleWorker::Unsubscribe(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  subscribers_.erase(id);
}

void ScaleWorker::RunCommand(ScaleCommand command, long tareGrams, CommandCallback callback) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_ && thread_.joinable()) {
      commands_.push_back({command, tareGrams, std::move(callback)});
      callback = nullptr;
    }
  }
  if (callback) {
    callback(info_.lastCode != PDX_OK ? info_.lastCode : PDX_CONNECTION_ERROR);
    return;
  }
  wake_.notify_all();
}

ScaleInfo ScaleWorker::Info() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return info_;
}

// usb:SERIAL: the port of the adapter with that serial number now (its stable name where the
// system has one), from the library's port listing (columns: name, stable name, bus, vendor,
// product, serial number, ...); empty when it is not plugged in.
static std::string PortOfUsbSerial(const std::string& serial) {
  std::vector<char> table(64 * 1024);
  size_t needed = 0;
  if (pdx_list_ports(table.data(), table.size(), &needed) != PDX_OK) return {};
  std::istringstream lines(table.data());
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (fields.size() >= 6 && fields[2] == "usb" && fields[5] == serial) return fields[1].empty() ? fields[0] : fields[1];
  }
  return {};
}

bool ScaleWorker::EnsureOpen() {
  if (open_) return true;
  int code = PDX_OK;
  if (spec_.kind == ScaleSpec::Kind::Usb) {
    const std::string port = PortOfUsbSerial(spec_.endPoint);
    code = port.empty() ? PDX_UNABLE_TO_OPEN_SERIAL_PORT
                        : pdx_set_logic_device_param(handle_, logicDevice_, PDX_LD_END_POINT, port.c_str());
  }
  if (code == PDX_OK) code = pdx_open(handle_, logicDevice_);
  if (code != PDX_OK) {
    std::lock_guard<std::mutex> lock(mutex_);
    info_.lastCode = code;
    return false;
  }
  open_ = true;
  bool ok = false;
  char protocol[64] = "";
  ok = pdx_get_protocol(handle_, protocol, sizeof protocol, nullptr) == PDX_OK;
  bool modelOk = false;
  std::string model = Text(pdx_get_param, handle_, PDX_PARAM_SCALES_MODEL, modelOk);
  std::lock_guard<std::mutex> lock(mutex_);
  if (ok && protocol[0] != '\0') info_.protocol = protocol;
  info_.model = modelOk && !model.empty() ? std::optional<std::string>(model) : std::nullopt;
  return true;
}

void ScaleWorker::CloseLine() {
  if (open_) pdx_close(handle_);
  open_ = false;
}

Reading ScaleWorker::Exchange() {
  Reading reading;
  const auto start = Clock::now();
  if (!EnsureOpen()) {
    std::lock_guard<std::mutex> lock(mutex_);
    reading.code = info_.lastCode;
  } else {
    reading.code = pdx_read_weight(handle_, &reading.weight);
    if (reading.code != PDX_OK && LineLost(reading.code)) CloseLine();
  }
  reading.readAt = std::chrono::system_clock::now();
  reading.exchange = ++exchanges_;
  metrics_.CountRead(spec_.name, ResultName(reading.code), !reading.Ok(),
                     std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
  return reading;
}

int ScaleWorker::Execute(const PendingCommand& command) {
  if (!EnsureOpen()) {
    std::lock_guard<std::mutex> lock(mutex_);
    return info_.lastCode;
  }
  int code = PDX_OK;
  switch (command.command) {
    case ScaleCommand::Zero: code = pdx_execute_command(handle_, PDX_CMD_SET_ZERO); break;
    case ScaleCommand::Tare: code = pdx_execute_command(handle_, PDX_CMD_SET_TARE); break;
    case ScaleCommand::SpecifyTare:
      code = pdx_set_param(handle_, PDX_PARAM_TARE, std::to_string(command.tareGrams).c_str());
      if (code == PDX_OK) code = pdx_execute_command(handle_, PDX_CMD_SPECIFY_TARE);
      break;
  }
  if (code != PDX_OK && LineLost(code)) CloseLine();
  return code;
}

bool ScaleWorker::WaitForWork(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point lastEnd,
                              bool lastFailed) {
  if (!waiting_.empty()) return true;
  auto anyWork = [this] { return stopping_ || !waiting_.empty() || !commands_.empty() || !subscribers_.empty(); };
  auto urgent = [this] { return stopping_ || !waiting_.empty() || !commands_.empty(); };
  // Only streams or nobody: pace the reads.
  const int pauseMs = subscribers_.empty() ? settings_.idlePollMs : settings_.pollMs;
  if (subscribers_.empty() && pauseMs == 0) {
    wake_.wait(lock, anyWork);
    return false;
  }
  const auto due = lastEnd + std::chrono::milliseconds(lastFailed ? std::max(pauseMs, kRetryPauseMs) : pauseMs);
  if (Clock::now() >= due) return true;
  const bool streaming = !subscribers_.empty();
  return !(streaming ? wake_.wait_until(lock, due, urgent) : wake_.wait_until(lock, due, anyWork));
}

bool ScaleWorker::ReadAndDeliver(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point& end) {
  std::vector<ReadingCallback> batch;
  batch.swap(waiting_);
  lock.unlock();
  Reading reading = Exchange();
  lock.lock();
  end = std::chrono::steady_clock::now();
  info_.lastCode = reading.code;
  info_.state = reading.Ok() ? ScaleState::Ready : ScaleState::Error;
  std::vector<ReadingCallback> streams;
  streams.reserve(subscribers_.size());
  for (const auto& entry : subscribers_) streams.push_back(entry.second);
  lock.unlock();
  for (auto& callback : batch) callback(reading);
  for (auto& callback : streams) callback(reading);
  lock.lock();
  return reading.Ok();
}

void ScaleWorker::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  auto lastEnd = Clock::now() - std::chrono::hours(1);
  bool lastFailed = false;
  while (!stopping_) {
    if (!commands_.empty()) {
      PendingCommand command = std::move(commands_.front());
      commands_.pop_front();
      lock.unlock();
      int code = Execute(command);
      command.callback(code);
      lock.lock();
      continue;
    }
    // Woken for something else (a command, a stop, a new reader): look again.
    if (!WaitForWork(lock, lastEnd, lastFailed)) continue;
    lastFailed = !ReadAndDeliver(lock, lastEnd);
  }
}

}  // namespace ScaleService
