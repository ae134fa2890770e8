// How a function of the C interface runs: in the call frame, on the device behind a handle,
// with its text output copied whole into the caller's buffer or not at all. Shared by the
// files that implement ponderix.h.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "driver/interface/call-frame.hpp"
#include "driver/api/ponderix.h"
#include "driver/vocabulary/weight-reading.hpp"

namespace Korvalt::Ponderix::Driver::CCalls {

inline DeviceHandle ToDeviceHandle(pdx_handle handle) {
  return reinterpret_cast<DeviceHandle>(static_cast<std::uintptr_t>(handle));
}

inline int Code(ErrorCase result) { return static_cast<int>(result); }

// The whole text and its NUL, or nothing.
inline int CopyOut(const std::string& text, char* buffer, size_t size, size_t* needed) {
  if (needed) *needed = text.size() + 1;
  if (buffer == nullptr || size < text.size() + 1) return PDX_BUFFER_TOO_SMALL;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return PDX_OK;
}

// `text` cut to fit a fixed field of `size` bytes, NUL included.
inline void CopyField(const std::string& text, char* field, std::size_t size) {
  const std::size_t length = text.size() < size ? text.size() : size - 1;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

inline std::string Text(const char* value) { return value ? std::string(value) : std::string(); }

inline void FillWeight(const WeightReading& reading, pdx_weight& out) {
  CopyField(reading.text, out.text, sizeof out.text);
  out.weight_mg = reading.weightMg;
  CopyField(reading.unit, out.unit, sizeof out.unit);
  out.stable = static_cast<int>(reading.stable);
  out.overload = static_cast<int>(reading.overload);
  out.net = static_cast<int>(reading.net);
  out.tare_known = reading.tareKnown ? 1 : 0;
  out.tare_mg = reading.tareMg;
}

// Runs `work` in the call frame; on success its text goes to the caller's buffer.
template <typename Work>
int TextCall(const char* name, char* buffer, size_t size, size_t* needed, Work&& work) {
  if (needed) *needed = 0;
  ErrorCase result = ErrorCase::Correct;
  std::string text;
  RunFunction(name, result, [&] {
    text = work(result);
    return result;
  });
  if (result != ErrorCase::Correct) return Code(result);
  return CopyOut(text, buffer, size, needed);
}

// The handle rule of the C interface: 0 is HandleNull, a number no device answers to (never
// issued, or destroyed) HandleDoesNotExist, on every call.
inline int HandleCode(pdx_handle handle, ErrorCase result) {
  if (handle == 0) return PDX_HANDLE_NULL;
  if (result == ErrorCase::HandleInvalid) return PDX_HANDLE_DOES_NOT_EXIST;
  return Code(result);
}

// `work(device, result)` on the device behind `handle`, in the call frame.
template <typename Work>
int DeviceCall(const char* name, pdx_handle handle, Work&& work) {
  if (handle == 0) return PDX_HANDLE_NULL;
  ErrorCase result = ErrorCase::Correct;
  RunFunction(name, result, [&] {
    return WithDevice(ToDeviceHandle(handle), result, [&](Device& device) { work(device, result); });
  });
  return HandleCode(handle, result);
}

// DeviceCall for the calls that need the line: PDX_NOT_OPEN, and nothing done, while none is open.
template <typename Work>
int OpenDeviceCall(const char* name, pdx_handle handle, Work&& work) {
  bool open = true;
  const int code = DeviceCall(name, handle, [&](Device& device, ErrorCase& result) {
    open = device.HasOpenLine();
    if (open) work(device, result);
  });
  return code == PDX_OK && !open ? PDX_NOT_OPEN : code;
}

template <typename Work>
int DeviceTextCall(const char* name, pdx_handle handle, char* buffer, size_t size, size_t* needed, Work&& work) {
  if (needed) *needed = 0;
  std::string text;
  const int code = DeviceCall(name, handle, [&](Device& device, ErrorCase& result) { text = work(device, result); });
  if (code != PDX_OK) return code;
  return CopyOut(text, buffer, size, needed);
}

}  // namespace Korvalt::Ponderix::Driver::CCalls
