#include "log/ErrorLog.h"

#include <algorithm>
#include <cstring>

#include "config/AppProfile.h"
#include "config/ConfiguredPath.h"
#include "config/registrylit.h"
#include "files/PathDirectories.h"
#include "platform/DriveMap.h"
#include "platform/FileSystem.h"
#include "platform/NativeFile.h"
#include "platform/ProgramLocation.h"
#include "platform/Trace.h"

namespace quillon {
namespace {

namespace lit = registrylit;

constexpr int64_t kClipChunk = 1'000'000;
const char kSeparator[] = "===================================================================\r\n";

// The state folder's log: where the log goes when the program's folder cannot hold it, as an
// installed program's folder usually cannot on Linux.
std::string FallbackLogPath() {
    std::string windows;
    if (!ToWindowsPath(NativeStateDirectory(), windows)) {
        return "";
    }
    return windows + "\\" + kErrorLogName;
}

// Beside the program, as the system has always kept it, unless the program is installed: the
// package's folder is no place for a user's log (and root could write there and leave it behind).
std::string DefaultLogPath() {
    return NativeProgramIsInstalled() ? FallbackLogPath() : ProgramDirectory() + "\\" + kErrorLogName;
}

bool OpenLog(NativeFile& log, const std::string& path) {
    CreatePathDirectories(path, 0);
    return log.OpenAppend(path);
}

// Cuts the log to its newest limit bytes, starting at a whole line, through a temporary file that
// replaces the log in one step, so that there is never a moment without a log.
void ClipLog(const std::string& path, int64_t length, int64_t limit, std::vector<char>& buffer) {
    NativeFile log;
    if (!log.OpenRead(path) || !log.Seek(length - limit)) {
        Trace(
            "*** \xD6"
            "ffnen des Error-Logfiles zum Lesen (Clip) nicht m\xF6glich\n");
        return;
    }
    const std::string tempPath = path + ".TMP";
    NativeFile temp;
    if (!temp.CreateWrite(tempPath)) {
        Trace(
            "*** \xD6"
            "ffnen des Tempfiles zum Schreiben (Clip des Logfiles) nicht m\xF6glich\n");
        return;
    }
    if (buffer.empty()) {
        buffer.resize(kClipChunk);
    }
    const int64_t chunkSize = std::min<int64_t>(kClipChunk, static_cast<int64_t>(buffer.size()));
    bool first = true;
    bool ok = true;
    for (int64_t left = limit; left > 0 && ok;) {
        int64_t got = log.Read(buffer.data(), std::min(left, chunkSize));
        if (got <= 0) {
            break;
        }
        left -= got;
        const char* start = buffer.data();
        int64_t count = got;
        if (first) {
            // The cut falls inside a line: the clipped log begins after its end.
            const void* lineEnd = std::memchr(start, '\n', static_cast<size_t>(got));
            count = lineEnd == nullptr ? 0 : got - (static_cast<const char*>(lineEnd) + 1 - start);
            start += got - count;
            first = false;
        }
        ok = temp.WriteAll(start, count);
    }
    log.Close();
    if (!ok || !temp.Sync() || !temp.Close()) {
        return;  // the log stays as it was; the broken temporary file is replaced next time
    }
    if (!RenameFile(tempPath, path)) {
        Trace("*** Rename des Tempfiles (Clip des Logfiles) nicht m\xF6glich\n");
    }
}

}  // namespace

std::string ProgramDirectory() {
    std::string windows;
    return ToWindowsPath(NativeProgramDirectory(), windows) ? windows : std::string();
}

std::string ResolveErrorLogPath(const CAppProfile& profile) {
    std::string path = profile.GetProfileString(lit::kSettings, lit::kErrorLogPath, "");
    if (!path.empty()) {
        return path;
    }
    // LogPath names a file; a native one ("/home/me/logs/quillon.log") is taken in its Windows form.
    std::string logPath =
        WindowsFormOfConfiguredPath(profile.GetProfileString(lit::kSettings, lit::kLogPath, ""));
    size_t slash = logPath.find_last_of('\\');
    path = slash == std::string::npos ? std::string() : logPath.substr(0, slash + 1);
    path = path.empty() ? DefaultLogPath() : path + kErrorLogName;
    profile.WriteProfileString(lit::kSettings, lit::kErrorLogPath, path);
    return path;
}

void WriteErrorLog(const CAppProfile& profile, std::vector<std::string>& copyErrorList,
                   std::vector<char>& copyBuffer) {
    if (copyErrorList.empty() || profile.GetProfileInt(lit::kSettings, lit::kDoErrorLogging, 1) == 0) {
        return;
    }
    std::string path = ResolveErrorLogPath(profile);
    NativeFile log;
    if (!OpenLog(log, path)) {
        // The program's folder is rarely writable for its users: the log moves to the state folder,
        // and stays there, rather than losing the errors.
        std::string fallback = FallbackLogPath();
        if (path != DefaultLogPath() || fallback.empty() || !OpenLog(log, fallback)) {
            Trace(
                "*** Das Logfile  %s  konnte nicht ge\xF6"
                "ffnet werden.\n",
                path.c_str());
            return;
        }
        path = fallback;
        profile.WriteProfileString(lit::kSettings, lit::kErrorLogPath, path);
    }

    std::string block = kSeparator;
    for (const std::string& line : copyErrorList) {
        block += line;
        block += "\r\n";
    }
    block += "\r\n";
    if (!log.WriteAll(block.data(), static_cast<int64_t>(block.size()))) {
        Trace("*** Das Logfile  %s  konnte nicht geschrieben werden.\n", path.c_str());
        return;  // the lines stay in the list for the next attempt
    }
    copyErrorList.clear();
    const int64_t length = log.Size();
    log.Close();

    const int64_t limit = int64_t{profile.GetProfileInt(lit::kSettings, lit::kErrorLogSize, 1000)} * 1024;
    if (length > limit && limit >= 0) {
        ClipLog(path, length, limit, copyBuffer);
    }
}

}  // namespace quillon
