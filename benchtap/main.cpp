#include "benchtap/cli-manager.hpp"
#include "platform/console.hpp"

int main(int argc, char** argv) {
  Korvalt::Ponderix::Platform::UseUtf8Console();
  return Korvalt::Ponderix::Benchtap::RunBenchtap(argc, argv);
}
