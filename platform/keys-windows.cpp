#include "platform/keys.hpp"

#include <conio.h>
#include <io.h>
#include <windows.h>

namespace Korvalt::Ponderix::Platform {
namespace {

class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) { setg(data_, data_, data_); }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const int count = _read(fd_, data_, sizeof data_);
    if (count <= 0) return traits_type::eof();
    setg(data_, data_, data_ + count);
    return traits_type::to_int_type(*gptr());
  }

 private:
  int fd_;
  char data_[256];
};

}  // namespace

struct KeyboardInput::Impl {
  explicit Impl(int descriptor) : fd(descriptor), terminal(_isatty(descriptor) != 0), buffer(descriptor) {}
  int fd;
  bool terminal;
  DescriptorBuffer buffer;
};

KeyboardInput::KeyboardInput(int fd) : impl_(std::make_unique<Impl>(fd)) {}
KeyboardInput::~KeyboardInput() = default;

bool KeyboardInput::IsTerminal() const { return impl_->terminal; }

std::streambuf& KeyboardInput::Buffer() { return impl_->buffer; }

int KeyboardInput::ReadKey(const std::atomic<bool>* cancel) {
  if (!impl_->terminal) {
    auto& buffer = impl_->buffer;
    return DecodeKey(
        [&](int) {
          const auto byte = buffer.sbumpc();
          if (byte == std::streambuf::traits_type::eof()) return Keys::kEndOfInput;
          return static_cast<int>(static_cast<unsigned char>(std::streambuf::traits_type::to_char_type(byte)));
        },
        false);
  }
  constexpr DWORD kCancelCheckMs = 50;
  while (cancel != nullptr && !_kbhit()) {
    if (cancel->load()) return Keys::kCancelled;
    Sleep(kCancelCheckMs);
  }
  return DecodeConsoleKey([] { return _getch(); });
}

KeyboardInput& StandardInput() {
  static KeyboardInput input(0);
  return input;
}

}  // namespace Korvalt::Ponderix::Platform
