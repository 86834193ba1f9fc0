// The commands of the registry tool, in the language of the Windows reg.exe:
//
//   add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]
//   query KEY [/v NAME | /ve] [/s]
//   delete KEY [/v NAME | /ve | /va] [/f]
//   import FILE
//   export KEY FILE [/y]
//
// KEY begins with HKLM, HKEY_LOCAL_MACHINE, HKCU or HKEY_CURRENT_USER. Switches may be written in any
// letter case; only these switches are switches, so a path such as /home/me/config.reg is an argument.
// Texts on the command line and on the terminal are UTF-8 and are converted to and from code page 1252.
//
// One command per call; the registry is reached through the hives of the environment.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon {

// Runs one command (args without the program name). Results go to out, messages in reg.exe's style
// to err; questions (overwrite? delete?) are answered from in, where anything but yes cancels.
// Answers the exit code: 0 on success, 1 on failure or cancellation.
int RunRegCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                  std::ostream& err);

}  // namespace quillon
