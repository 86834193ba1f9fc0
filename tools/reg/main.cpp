// quillon-reg: reads and writes the registry hives of the system from the command line.
#include <iostream>

#include "reg/RegCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return quillon::RunRegCommand(args, std::cin, std::cout, std::cerr);
}
