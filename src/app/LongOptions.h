// The long options of the program ("--help", "--version", ...) beside the switches that begin with
// '/'. Parsed once by main before anything else happens; each option that does a job of its own
// (--check, --dry-run) has its own file (app/CheckOption.h, app/DryRunOption.h). Stateless; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

struct LongOptions {
    bool Help = false;     // --help: usage on standard output, nothing else done
    bool Version = false;  // --version: the version and the libraries in use
    bool Verbose = false;  // --verbose: more detail where an option offers it
    bool Check = false;    // --check: the configuration as the program reads it, and its problems
    bool DryRun = false;   // --dry-run: what a run now would do, changing nothing
    // The first word that begins with "--" and is no known option; empty when there is none.
    std::string Unknown;
    // Every other word in its order: the '/' switches (for CQuillonRunApp::CommandLine) and the
    // desktop's "--platform NAME". An empty word stays, since it ends the switches.
    std::vector<std::string> Rest;
};

// Sorts the program's arguments (without argv[0]) into options and the rest. "--" alone ends the
// options: every word after it goes to Rest unchanged.
LongOptions ParseLongOptions(const std::vector<std::string>& arguments);

// The profile the switches among options.Rest name, as a run binds it: the last of "/1" to "/9" before
// an empty word wins; 0 when none does.
int32_t ProfileNumber(const LongOptions& options);

// The text of --help: one line per switch and option, then the environment variables.
std::string UsageText();

// The first line of --version: "quillon-run 2.10".
std::string VersionLine();

}  // namespace quillon
