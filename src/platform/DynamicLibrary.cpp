#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <cctype>
#include <cstdlib>

#include "platform/LastError.h"
#include "platform/ProgramLocation.h"
#include "platform/Trace.h"

namespace quillon {
namespace {

const char* LoaderMessage() {
    const char* message = ::dlerror();
    return message != nullptr ? message : "unknown loader error";
}

}  // namespace

std::string LibraryFileFor(const std::string& moduleName) {
    std::string base = moduleName;
    size_t slash = base.find_last_of("\\/");
    if (slash != std::string::npos) {
        base.erase(0, slash + 1);
    }
    if (base.size() > 4) {
        std::string extension = base.substr(base.size() - 4);
        for (char& c : extension) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (extension == ".dll") {
            base.resize(base.size() - 4);
        }
    }

    std::string variable = "QUILLON_";
    for (char c : base) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            variable += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    if (const char* file = std::getenv(variable.c_str()); file != nullptr && *file != '\0') {
        return file;
    }

    // Windows finds a module's name in any letter case; the files here are lower-case.
    for (char& c : base) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string folder = NativeProgramDirectory();
    if (folder.empty()) {
        return "";
    }
    return (folder == "/" ? "" : folder) + "/lib" + base + ".so";
}

DynamicLibrary::~DynamicLibrary() {
    Close();
}

bool DynamicLibrary::Open(const std::string& moduleName) {
    std::string file = LibraryFileFor(moduleName);
    if (file.empty()) {
        Close();
        Trace("*** %s: program folder unknown\n", moduleName.c_str());
        SetLastError(kErrorModuleNotFound);
        return false;
    }
    return OpenFile(file);
}

bool DynamicLibrary::OpenFile(const std::string& nativePath) {
    Close();
    // RTLD_LOCAL keeps the library's symbols to itself, as a Windows module's are; RTLD_NOW finds a
    // missing dependency here rather than at the first call.
    handle_ = ::dlopen(nativePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        Trace("*** %s\n", LoaderMessage());
        SetLastError(kErrorModuleNotFound);
        return false;
    }
    return true;
}

void DynamicLibrary::Close() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

void* DynamicLibrary::Find(const char* name) const {
    if (handle_ == nullptr) {
        SetLastError(kErrorProcedureNotFound);
        return nullptr;
    }
    void* address = ::dlsym(handle_, name);
    if (address == nullptr) {
        SetLastError(kErrorProcedureNotFound);
    }
    return address;
}

}  // namespace quillon
