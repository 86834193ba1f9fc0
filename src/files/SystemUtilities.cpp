#include "files/SystemUtilities.h"

#include "files/PathDirectories.h"
#include "platform/DriveMap.h"
#include "platform/FileSystem.h"
#include "platform/NativeFile.h"

namespace quillon {

bool WriteStringList(NativeFile& file, const std::vector<std::string>& strings) {
    // One write for the whole list: an error log of thousands of lines costs one system call.
    std::string block;
    for (const auto& line : strings) {
        block += line;
        block += "\r\n";
    }
    return file.WriteAll(block.data(), static_cast<int64_t>(block.size()));
}

std::string GetTempDirectory() {
    const std::string path = "C:\\Temp\\QuilRun\\";
    // The staging folder is emptied before every archive: a link in its place would have files
    // elsewhere emptied, or written to, and is refused.
    if (CreatePathDirectories(path, 0) < 1 || IsSymbolicLink(path)) {
        return std::string();
    }
    return path;
}

bool IsNetworkDrive(char letter) {
    const std::string& target = Drives().Target(letter);
    return !target.empty() && IsNetworkFileSystemType(FileSystemTypeOf(target));
}

}  // namespace quillon
