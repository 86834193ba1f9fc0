// Deletion never leaves the dated sets below a path's destination, whatever the control file lists
// and whatever links stand in the way: every test snapshots the whole of drive C: and compares.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/ControlFile.h"
#include "engine/RunState.h"
#include "files/DeleteTree.h"
#include "support/LineArchive.h"
#include "testing/Environment.h"
#include "testing/FakeClock.h"
#include "testing/TempDir.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::FakeClock, testing::ScopedDriveMap, testing::ScopedTimeZone, testing::WriteFile;

using Paths = std::set<std::string>;

// Every entry below root (links not followed), relative to root.
Paths Snapshot(const std::string& root) {
    Paths paths;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        paths.insert(entry.path().lexically_relative(root).string());
    }
    return paths;
}

// The entries of before that are gone now.
Paths Removed(const Paths& before, const Paths& now) {
    Paths removed;
    for (const std::string& path : before) {
        if (!now.contains(path)) {
            removed.insert(path);
        }
    }
    return removed;
}

// A pass over the destination C:\Backup\Docs that may delete every set it knows of: nothing is backed
// up any more (exclude "*") and at most 0 sets are wanted.
struct Scene {
    Scene() {
        clock.Set(MakeTime(2003, 11, 24, 10, 0, 0).Seconds());
        state.RunTime = GetNow();
        path.DestPath = "C:\\Backup\\Docs";
        path.DeleteEnabled = true;
        path.DelAfterBackupsActive = true;
        path.DelAfterBackups = 0;
        auto* all = new PatternEntry;
        all->Pattern = "*";
        path.ExcludeList.Append(all);
    }

    // Reads the sets of the destination's control file, as a pass does, and runs retention.
    void DeleteByControlFile() {
        CLineArchiveFile archive;
        ASSERT_TRUE(archive.Open(path.DestPath + "\\Quillon.txt", false));
        ReadSavedBackups(archive, pass.SavedBackups);
        archive.Close();
        pass.DropVanishedSets();
        pass.DeleteOldBackups();
    }

    std::string C(const std::string& relative) const { return drives.DriveC() + "/" + relative; }

    ScopedTimeZone zone{"Europe/Berlin"};
    ScopedDriveMap drives;
    FakeClock clock;
    RunState state;
    SourcePathRecord path;
    BackupPass pass{state, path};
};

TEST(DeletionSafetyTest, CraftedSetLinesReachNothingButDatedSetsOfTheDestination) {
    Scene scene;
    for (const char* file :
         {"Backup/Docs/2003-11-01/a.txt", "Backup/Docs/2003-11-02/sub/b.txt", "Backup/Docs/keep/c.txt",
          "Backup/Docs/notes.txt", "Backup/2003-11-01/d.txt", "Backup/Other/2003-11-02/e.txt",
          "2003-11-03/f.txt", "Backup/Docs-2003-11-01/g.txt"}) {
        WriteFile(scene.C(file), "data");
    }
    // Set lines whose text names folders elsewhere; only the date at the start of a line counts.
    WriteFile(scene.C("Backup/Docs/Quillon.txt"),
              "Quillon-Run -- Processing Time: 2003-11-24 10:00\r\n-1 no full backup scheduled\r\n"
              "C:\\Source\r\n# ===== Saved Backups:\r\n"
              "..\\2003-11-01 F         1 kBytes\r\n"
              "2003-11-01\\..\\..\\Other\\2003-11-02 I 1 kBytes\r\n"
              "C:\\2003-11-03 I         1 kBytes\r\n"
              "2003-11-02\\..\\..\\..\\2003-11-03 I 1 kBytes\r\n"
              "0000-00-00 I         1 kBytes\r\n2003-02-30 I 1 kBytes\r\n9999-12-31 F 1 kBytes\r\n"
              "2003-11-01 F         1 kBytes\r\n 2003-11-02 I         5 kBytes\r\n"
              "keep I 1 kBytes\r\n# ===== Files:\r\n");
    const Paths before = Snapshot(scene.drives.DriveC());
    scene.DeleteByControlFile();

    EXPECT_EQ(Removed(before, Snapshot(scene.drives.DriveC())),
              (Paths{"Backup/Docs/2003-11-01", "Backup/Docs/2003-11-01/a.txt", "Backup/Docs/2003-11-02",
                     "Backup/Docs/2003-11-02/sub", "Backup/Docs/2003-11-02/sub/b.txt"}));
}

TEST(DeletionSafetyTest, LinksAsDestinationSetOrStagingFolderLoseOnlyTheLink) {
    Scene scene;
    // The destination is a link to the real folder; one set is a link to a dated folder outside, one
    // holds a link out, and the staging folder is a link too.
    WriteFile(scene.C("Real/2003-11-01/a.txt"), "data");
    WriteFile(scene.C("Real/2003-11-03/b.txt"), "data");
    WriteFile(scene.C("Real/notes.txt"), "data");
    WriteFile(scene.C("Outside/2003-11-02/keep.txt"), "keep");
    WriteFile(scene.C("Outside/other/keep.txt"), "keep");
    fs::create_directories(scene.C("Backup"));
    fs::create_directory_symlink(scene.C("Real"), scene.C("Backup/Docs"));
    fs::create_directory_symlink(scene.C("Outside/2003-11-02"), scene.C("Real/2003-11-02"));
    fs::create_directory_symlink(scene.C("Outside"), scene.C("Real/2003-11-03/escape"));
    fs::create_directories(scene.C("Temp"));
    fs::create_directory_symlink(scene.C("Outside/other"), scene.C("Temp/QuilRun"));
    WriteFile(scene.C("Real/Quillon.txt"),
              "Quillon-Run -- Processing Time: 2003-11-24 10:00\r\n-1 no full backup scheduled\r\n"
              "C:\\Source\r\n# ===== Saved Backups:\r\n2003-11-01 F         1 kBytes\r\n"
              "2003-11-02 I         1 kBytes\r\n2003-11-03 I         1 kBytes\r\n# ===== Files:\r\n");
    const Paths before = Snapshot(scene.drives.DriveC());

    scene.DeleteByControlFile();
    EXPECT_TRUE(DeleteTempDirectory("C:\\Temp\\QuilRun", nullptr, false));  // empties the staging
    EXPECT_TRUE(DeleteTempDirectory("C:\\Temp\\QuilRun", nullptr, true));   // removes it at the end

    EXPECT_EQ(scene.pass.SavedBackups.Count(), 0);
    EXPECT_EQ(Removed(before, Snapshot(scene.drives.DriveC())),
              (Paths{"Real/2003-11-01", "Real/2003-11-01/a.txt", "Real/2003-11-02", "Real/2003-11-03",
                     "Real/2003-11-03/b.txt", "Real/2003-11-03/escape", "Temp/QuilRun"}));
    EXPECT_TRUE(fs::is_symlink(scene.C("Backup/Docs")));
}

}  // namespace
}  // namespace quillon
