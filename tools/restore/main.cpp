// quillon-restore: lists, checks and restores the backups of one source path from its destination
// folder alone.
#include <iostream>

#include "platform/Terminal.h"
#include "restore/RestoreCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool progress = quillon::IsTerminal(quillon::StandardStream::kError);
    return quillon::restore::RunRestoreCommand(args, std::cout, std::cerr, progress);
}
