#include "benchtap/operator-console.hpp"

#include <iostream>

#include "platform/keys.hpp"

namespace Korvalt::Ponderix::Benchtap {

namespace Buttons {
int KeyCode(const std::string& name) {
  if (name == "enter") return kEnter;
  if (name == "escape") return kEscape;
  if (name == "space") return kSpace;
  return -1;
}
}  // namespace Buttons

OperatorConsole& StandardConsole() {
  static std::istream words(&Platform::StandardInput().Buffer());
  static OperatorConsole console{words, std::cout, std::cerr, [](const std::atomic<bool>* cancel) {
                                   // The prompt must be on screen before the wait.
                                   std::cout.flush();
                                   return Platform::StandardInput().ReadKey(cancel);
                                 }};
  return console;
}

void ReportEndOfInput(OperatorConsole& console) {
  console.out.flush();
  console.err << "end of input" << std::endl;
}

}  // namespace Korvalt::Ponderix::Benchtap
