// DynamicLibrary: a shared library loaded at run time, and its exports found by name.
//
// The program names the libraries it loads as their Windows originals do ("ib-zip.dll"); the file
// that stands for such a name is "lib" + the name without ".dll" + ".so" in the program's own folder
// ("libib-zip.so"). An environment variable QUILLON_ + the name's letters and digits upper-cased
// (QUILLON_IBZIP for "ib-zip.dll") names another file instead: tests point it at the build's
// library, or at a file that does not exist.
//
// Failures are results with the last-error value set: 126 (module not found) when a library cannot be
// loaded, 127 (procedure not found) when an export is missing. The loader's own explanation goes to
// the trace channel.
//
// Thread-safety: Open and Close must not run while another thread uses the same object; Find may be
// called from several threads at once between them.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

inline constexpr int32_t kErrorModuleNotFound = 126;
inline constexpr int32_t kErrorProcedureNotFound = 127;

// The native file that stands for a Windows library name (see above); "" when the program's folder
// is unknown and no variable names the file.
std::string LibraryFileFor(const std::string& moduleName);

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary();  // unloads
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library that stands for moduleName, unloading one loaded before. False (last error
    // 126) when it cannot be loaded; the object is then empty.
    bool Open(const std::string& moduleName);
    // Loads the library at nativePath (no name mapping). False (last error 126) on failure.
    bool OpenFile(const std::string& nativePath);
    // Unloads the library; nothing when none is loaded. Addresses found before become invalid.
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The address of the export name, or null (last error 127) when it is missing or nothing is
    // loaded. The address stays valid until Close.
    void* Find(const char* name) const;

  private:
    void* handle_ = nullptr;
};

}  // namespace quillon
