#include <iostream>

#include "cli/cli_app.h"
#include "render/standard_descriptors.h"

int main(int argc, char** argv) {
  if (!lozengia::open_closed_standard_descriptors()) return 1;
  return lozengia::run_cli(argc, argv, std::cout, std::cerr);
}
