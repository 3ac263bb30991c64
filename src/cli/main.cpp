#include <iostream>

#include "cli/cli_app.h"

int main(int argc, char** argv) { return lozengia::run_cli(argc, argv, std::cout, std::cerr); }
