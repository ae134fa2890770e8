#include "service/scale-worker.hpp"

#include <sstream>

#include <algorithm>
#include <iterator>

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

int ScaleWorker::Start() {
  int code = pdx_create(&handle_);
  if (code != PDX_OK) return code;
  if (spec_.kind == ScaleSpec::Kind::Profile) code = FindProfile();
  if (code != PDX_OK) {
    std::lock_guard<std::mutex> lock(mutex_);
    info_.state = ScaleState::Error;
    info_.lastCode = code;
    return code;
  }
  thread_ = std::thread([this] { Run(); });
  return PDX_OK;
}

void ScaleWorker::BeginStop() {
  std::vector<ReadingCallback> waiting;
  std::deque<PendingCommand> commands;
  std::vector<PendingSale> sales;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    sales.swap(sales_);
    jobs_.clear();
    waiting.swap(waiting_);
    // Readers of the exchange under way too: a silent line keeps it for a transfer time-out.
    waiting.insert(waiting.end(), std::make_move_iterator(reading_.begin()), std::make_move_iterator(reading_.end()));
    reading_.clear();
    commands.swap(commands_);
  }
  wake_.notify_all();
  // Whoever still waits gets an answer rather than silence.
  Reading gone;
  gone.code = PDX_CONNECTION_ERROR;
  gone.readAt = std::chrono::system_clock::now();
  for (auto& callback : waiting) callback(gone);
  for (auto& command : commands) command.callback(PDX_CONNECTION_ERROR);
  SaleOutcome none;
  none.code = PDX_CONNECTION_ERROR;
  none.sale.status = PDX_STATUS_NOT_READY;
  for (auto& sale : sales) sale.callback(none);
}

bool ScaleWorker::Stop(std::chrono::steady_clock::time_point deadline) {
  BeginStop();
  if (thread_.joinable()) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!wake_.wait_until(lock, deadline, [this] { return finished_; })) {
      lock.unlock();
      thread_.detach();
      handle_ = 0;
      return false;
    }
    lock.unlock();
    thread_.join();
  }
  if (handle_ != 0) {
    CloseLine();
    pdx_destroy(handle_);
    handle_ = 0;
  }
  return true;
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

void ScaleWorker::RequestSaleWeight(int timeoutMs, SaleCallback callback) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_ && thread_.joinable()) {
      sales_.push_back({Clock::now() + std::chrono::milliseconds(timeoutMs), std::move(callback)});
      callback = nullptr;
    }
  }
  if (callback) {
    SaleOutcome failed;
    failed.code = info_.lastCode != PDX_OK ? info_.lastCode : PDX_CONNECTION_ERROR;
    failed.sale.status = PDX_STATUS_NOT_READY;
    callback(failed);
    return;
  }
  wake_.notify_all();
}

void ScaleWorker::CheckHealth(int level, HealthCallback callback) {
  std::function<void()> job = [this, level, callback] {
    char text[2048] = "";
    int code = pdx_check_health(handle_, level, text, sizeof text, nullptr);
    // The line is opened by the worker when it is first needed: a level-2 check opens it too.
    if (code == PDX_NOT_OPEN && level == 2 && EnsureOpen()) code = pdx_check_health(handle_, level, text, sizeof text, nullptr);
    callback(code, text);
  };
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopping_ && thread_.joinable()) {
      jobs_.push_back(std::move(job));
      job = nullptr;
    }
  }
  if (job) {
    callback(PDX_CONNECTION_ERROR, "");
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
  // A tcp:, serial: or usb: line is opened from its settings alone: a service that is killed
  // leaves nothing behind in the store every process shares. A usb: scale is looked up on every
  // open: the adapter may come back on another port.
  int code = PDX_OK;
  std::string endPoint = spec_.endPoint;
  if (spec_.kind == ScaleSpec::Kind::Usb) {
    endPoint = PortOfUsbSerial(spec_.endPoint);
    if (endPoint.empty()) code = PDX_UNABLE_TO_OPEN_SERIAL_PORT;
  }
  const bool tcp = spec_.kind == ScaleSpec::Kind::Tcp;
  if (code == PDX_OK) {
    code = spec_.kind == ScaleSpec::Kind::Profile
               ? pdx_open(handle_, logicDevice_)
               : pdx_open_line(handle_, tcp ? PDX_TCP : PDX_SERIAL_PORT, endPoint.c_str(),
                               spec_.protocol.c_str(), std::stoi(spec_.baud), PDX_AUTO);
  }
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
    reading.code = pdx_get_status(handle_, &reading.status, &reading.weight);
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
  if (!waiting_.empty() || !sales_.empty()) return true;
  auto urgent = [this] {
    return stopping_ || !waiting_.empty() || !commands_.empty() || !sales_.empty() || !jobs_.empty();
  };
  auto anyWork = [this, &urgent] { return urgent() || !subscribers_.empty(); };
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

bool ScaleWorker::ReadAndDeliver(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point& end,
                                 Reading& reading) {
  reading_.swap(waiting_);
  lock.unlock();
  reading = Exchange();
  lock.lock();
  std::vector<ReadingCallback> batch;
  batch.swap(reading_);
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

void ScaleWorker::DecideSales(std::unique_lock<std::mutex>& lock, const Reading& reading) {
  const auto now = Clock::now();
  std::vector<PendingSale> decide;
  std::vector<PendingSale> answer;
  std::vector<PendingSale> keep;
  for (auto& sale : sales_) {
    if (reading.Ok() && reading.status != PDX_STATUS_UNSTABLE) {
      decide.push_back(std::move(sale));
    } else if (!reading.Ok() || now >= sale.deadline) {
      answer.push_back(std::move(sale));
    } else {
      keep.push_back(std::move(sale));
    }
  }
  sales_.swap(keep);
  lock.unlock();
  SaleOutcome last;
  last.code = reading.Ok() ? PDX_WEIGHT_UNSTABLE : reading.code;
  last.sale.status = reading.status;
  if (reading.Ok()) last.sale.reading = reading.weight;
  for (auto& sale : answer) sale.callback(last);
  std::vector<PendingSale> again;
  for (auto& sale : decide) {
    // One exchange each, in the order asked: the first takes the load, the next finds it taken.
    SaleOutcome outcome;
    outcome.code = pdx_read_sale_weight(handle_, 0, &outcome.sale);
    if (outcome.code == PDX_WEIGHT_UNSTABLE && Clock::now() < sale.deadline) {
      again.push_back(std::move(sale));  // the load moved again: keep waiting
      continue;
    }
    if (outcome.code != PDX_OK && LineLost(outcome.code)) CloseLine();
    sale.callback(outcome);
  }
  lock.lock();
  for (auto& sale : again) sales_.push_back(std::move(sale));
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
    if (!jobs_.empty()) {
      auto job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
      continue;
    }
    // Woken for something else (a command, a stop, a new reader): look again.
    if (!WaitForWork(lock, lastEnd, lastFailed)) continue;
    Reading reading;
    lastFailed = !ReadAndDeliver(lock, lastEnd, reading);
    if (!sales_.empty()) DecideSales(lock, reading);
  }
  finished_ = true;
  wake_.notify_all();
}

}  // namespace ScaleService
