// Prints a reference page made from the library's tables:
//   ponderix-reference commands|result-codes
#include <iostream>
#include <string>

#include "tools/reference/reference.hpp"

int main(int argc, char** argv) {
  const std::string page = argc == 2 ? argv[1] : "";
  if (page == "commands") {
    std::cout << Korvalt::Ponderix::Reference::CommandsPage();
  } else if (page == "result-codes") {
    std::cout << Korvalt::Ponderix::Reference::ResultCodesPage();
  } else {
    std::cerr << "usage: ponderix-reference commands|result-codes\n";
    return 2;
  }
  return 0;
}
