// quillon-config: sets up the backups of the run module in words instead of registry values.
#include <iostream>

#include "config/ConfigCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return quillon::RunConfigCommand(args, std::cout, std::cerr);
}
