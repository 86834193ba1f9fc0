// Paths as users write them into the configuration. Inside the system every path is in Windows form
// ("C:\Data"); a user on Linux writes "/home/me/Documents". Such an absolute native path is turned
// into its Windows form through the drive map when the configuration is read, so that the control
// files, the error lines and everything the engine compares keep the form they always had.
// Stateless; any thread (the drive map is immutable once loaded).
#pragma once

#include <string>

namespace quillon {

// True when text is an absolute native path (it begins with '/').
bool IsNativeConfiguredPath(const std::string& text);

// An absolute native path in its Windows form through the drive map ("/home/me/x" is "Z:\home\me\x"
// with the default map; trailing '/' dropped). Any other text, and a native path that no drive holds
// or that holds a backslash inside a name, is answered unchanged: the run then reports the folder as
// missing under the name the user wrote.
std::string WindowsFormOfConfiguredPath(const std::string& text);

}  // namespace quillon
