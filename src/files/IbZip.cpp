#include "files/IbZip.h"

#include "support/MessageBox.h"

namespace quillon {
namespace {

using Export = int32_t (*)(intptr_t);

intptr_t TextArgument(const std::string& text) {
    return reinterpret_cast<intptr_t>(text.c_str());
}

}  // namespace

IbZip::~IbZip() {
    std::unique_lock write(libraryMutex_);
    library_.Close();
}

bool IbZip::Open() {
    {
        std::unique_lock lock(lockMutex_);
        if (held_ && holder_ == std::this_thread::get_id()) {
            return true;  // held since a successful Open of this thread: loaded already
        }
        released_.wait(lock, [this] { return !held_; });
        held_ = true;
        holder_ = std::this_thread::get_id();
    }
    bool loaded;
    {
        std::unique_lock write(libraryMutex_);
        loaded = library_.Open("ib-zip.dll");
    }
    if (loaded) {
        return true;
    }
    {
        std::lock_guard lock(lockMutex_);
        held_ = false;
    }
    released_.notify_all();
    ShowMessageBox("Die Datei IB-ZIP.DLL konnte nicht initialisiert werden.", kMbOk);
    return false;
}

void IbZip::Close() {
    {
        std::unique_lock write(libraryMutex_);
        library_.Close();
    }
    {
        std::lock_guard lock(lockMutex_);
        held_ = false;
    }
    released_.notify_all();
}

bool IbZip::IsOpen() const {
    std::shared_lock read(libraryMutex_);
    return library_.IsOpen();
}

int32_t IbZip::Call(const char* name, intptr_t argument) const {
    std::shared_lock read(libraryMutex_);
    void* address = library_.Find(name);
    if (address == nullptr) {
        return kIbZipNotAvailable;
    }
    return reinterpret_cast<Export>(address)(argument);
}

int32_t IbZip::IB_ZipFileSpec(const std::string& spec) {
    return Call("IB_ZipFileSpec", TextArgument(spec));
}
int32_t IbZip::IB_ZipArchiveFile(const std::string& archive) {
    return Call("IB_ZipArchiveFile", TextArgument(archive));
}
int32_t IbZip::IB_ZipRecurseDirs(intptr_t on) {
    return Call("IB_ZipRecurseDirs", on);
}
int32_t IbZip::IB_ZipStoredDirNames(intptr_t mode) {
    return Call("IB_ZipStoredDirNames", mode);
}
int32_t IbZip::IB_Overwrite(intptr_t on) {
    return Call("IB_Overwrite", on);
}
int32_t IbZip::IB_ZipSourceList(const std::string& pairs) {
    return Call("IB_ZipSourceList", TextArgument(pairs));
}
int32_t IbZip::IB_ZipSourceResult(intptr_t position) {
    return Call("IB_ZipSourceResult", position);
}
int32_t IbZip::IB_Zip(intptr_t unused) {
    return Call("IB_Zip", unused);
}
int32_t IbZip::IB_UnZipArchiveFile(const std::string& archive) {
    return Call("IB_UnZipArchiveFile", TextArgument(archive));
}
int32_t IbZip::IB_UnZipExtractDir(const std::string& dir) {
    return Call("IB_UnZipExtractDir", TextArgument(dir));
}
int32_t IbZip::IB_UnZipFileSpec(const std::string& spec) {
    return Call("IB_UnZipFileSpec", TextArgument(spec));
}
int32_t IbZip::IB_UnZipUseStoredDirs(intptr_t on) {
    return Call("IB_UnZipUseStoredDirs", on);
}
int32_t IbZip::IB_UnZipLinks(intptr_t on) {
    return Call("IB_UnZipLinks", on);
}
int32_t IbZip::IB_UnZip(intptr_t unused) {
    return Call("IB_UnZip", unused);
}
int32_t IbZip::IB_CRCCheck(intptr_t unused) {
    return Call("IB_CRCCheck", unused);
}

#define QUILLON_IBZIP_DEFINE(name)           \
    int32_t IbZip::name(intptr_t argument) { \
        return Call(#name, argument);        \
    }
IBZIP_UNSUPPORTED_EXPORTS(QUILLON_IBZIP_DEFINE)
#undef QUILLON_IBZIP_DEFINE

}  // namespace quillon
