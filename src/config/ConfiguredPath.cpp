#include "config/ConfiguredPath.h"

#include "platform/DriveMap.h"
#include "platform/LastError.h"

namespace quillon {

bool IsNativeConfiguredPath(const std::string& text) {
    return !text.empty() && text[0] == '/';
}

std::string WindowsFormOfConfiguredPath(const std::string& text) {
    if (!IsNativeConfiguredPath(text)) {
        return text;
    }
    std::string native = text;
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    // The translation sets the last error on failure; reading the configuration is no failing step.
    int32_t lastError = GetLastError();
    std::string windows;
    bool mapped = ToWindowsPath(native, windows);
    SetLastError(lastError);
    return mapped ? windows : text;
}

}  // namespace quillon
