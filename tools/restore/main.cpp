// quillon-restore: lists, checks and restores the backups of one source path from its destination
// folder alone.
#include <iostream>

#include "platform/LocalTime.h"
#include "platform/Terminal.h"
#include "restore/RestoreCommand.h"

int main(int argc, char** argv) {
    // Every date of every control file is converted; the zone is looked up once, not at each date.
    quillon::PinLocalTimeZone();
    std::vector<std::string> args(argv + 1, argv + argc);
    bool progress = quillon::IsTerminal(quillon::StandardStream::kError);
    return quillon::restore::RunRestoreCommand(args, std::cout, std::cerr, progress);
}
