// Runs one backup of a native source folder into a native destination folder, the way the program
// runs a configured path, and prints its wall time and peak memory.
//
//   quillon-bench-pass SOURCE DEST [record-only|compress]
//
// The registry hives and the drive map are made in a temporary folder of their own, so nothing of the
// user's configuration is touched. A second call with the same DEST is an incremental pass.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "config/AppProfile.h"
#include "config/PathConfig.h"
#include "engine/RunAllPaths.h"
#include "engine/RunState.h"
#include "platform/DriveMap.h"
#include "platform/LocalTime.h"
#include "support/TimeValue.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SOURCE DEST [record-only|compress]\n", argv[0]);
        return 2;
    }
    std::string mode = argc > 3 ? argv[3] : "";
    quillon::PinLocalTimeZone();
    fs::path work = fs::path(argv[2]).parent_path() / ".quillon-bench";
    fs::create_directories(work / "dosdevices");
    std::error_code ignored;
    fs::create_directory_symlink("/", work / "dosdevices/z:", ignored);
    // Drive C: holds the staging folder of compressed sets, on the destination's file system.
    fs::create_directories(work / "drive_c");
    fs::create_directory_symlink(fs::absolute(work / "drive_c"), work / "dosdevices/c:", ignored);
    setenv("QUILLON_DRIVES", (work / "dosdevices").c_str(), 1);
    setenv("QUILLON_USER_HIVE", (work / "user.hive").c_str(), 1);
    setenv("QUILLON_MACHINE_HIVE", (work / "machine.hive").c_str(), 1);

    std::string source, dest;
    if (!quillon::ToWindowsPath(fs::absolute(argv[1]).lexically_normal().string(), source) ||
        !quillon::ToWindowsPath(fs::absolute(argv[2]).lexically_normal().string(), dest)) {
        std::fprintf(stderr, "paths must be absolute and free of backslashes\n");
        return 2;
    }
    quillon::CAppProfile profile;
    profile.BindProfile(0);
    profile.WriteProfileString("Path000", "SourcePath", source);
    profile.WriteProfileString("Path000", "DestPath", dest);
    // Full backups scheduled; no write protection, no archive-bit reset (as cp -a leaves the source).
    int32_t flags = 0x20;
    if (mode == "record-only") {
        flags |= 0x400;
    } else if (mode == "compress") {
        flags |= 0x800;
    }
    profile.WriteProfileInt("Path000", "Flags", flags);

    quillon::RunState run;
    run.Profile = &profile;
    run.CopyBuffer.resize(quillon::kCopyBufferSize);
    auto start = std::chrono::steady_clock::now();
    if (mode == "compress" && !run.ZipLibrary.Open()) {  // libib-zip.so beside this program
        return 2;
    }
    quillon::LoadPathConfig(profile, run.Paths, run.ActivityCounter);
    run.RunTime = quillon::GetNow();
    run.RunDay = run.RunTime;
    quillon::TruncateToDay(run.RunDay);
    run.RunInProgress = true;
    quillon::RunAllPaths(run);
    run.ZipLibrary.Close();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f seconds, %ld KiB peak, %d files copied, error %d\n", seconds, usage.ru_maxrss,
                run.RunFilesCopied, run.FirstErrorCode);
    return run.FirstErrorCode == 0 ? 0 : 1;
}
