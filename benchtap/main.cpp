#include "benchtap/cli-manager.hpp"

int main(int argc, char** argv) { return Korvalt::Ponderix::Benchtap::RunBenchtap(argc, argv); }
