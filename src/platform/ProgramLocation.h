// Where the running program and the user's state files live.
// Stateless; any thread.
#pragma once

#include <string>

namespace quillon {

// The native folder of the running program's executable, without a trailing '/'; "" when unknown.
std::string NativeProgramDirectory();

// True when the program runs from an installation's private program folder (<prefix>/lib/quillon),
// which belongs to the package manager: the program writes nothing of its own there.
bool NativeProgramIsInstalled();

// True when nativePath names an existing regular file, links followed: a document that ships beside
// the program, for instance.
bool IsNativeRegularFile(const std::string& nativePath);

// The folder for the user's state files: ${XDG_STATE_HOME:-$HOME/.local/state}/quillon (not created).
std::string NativeStateDirectory();

}  // namespace quillon
