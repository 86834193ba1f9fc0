// Whole runs of the application with the real engine and the console presenter without a terminal, as
// the user service starts them: what nobody answered must not change what the next runs do.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/AppFixture.h"
#include "app/MessageLoop.h"
#include "engine/RunAllPaths.h"
#include "platform/FileSystem.h"
#include "testing/TempDir.h"
#include "ui/ConsolePresenter.h"

namespace quillon::testing {
namespace {

using UnattendedRunTest = AppTest;

// Three older sets of 60, 30 and 50 MB, a limit of 40 MB and no "DeleteFlags" entry: the first run's
// question would delete all but the newest set. Unanswered, the box says No, the confirmation OK, and the
// disk-space rule goes off for good: no run of the three deletes a set, no tick nobody gave hides it.
TEST_F(UnattendedRunTest, UnansweredDiskSpaceQuestionKeepsEverySet) {
    Set("Path000", "SourcePath", "C:\\Data");
    Set("Path000", "DestPath", "C:\\Backup");
    Set("Path000", "Flags", 0x06);  // plain copies
    for (const char* date : {"2003-11-01", "2003-11-10", "2003-11-20"}) {
        WriteFile(drives.Native("C:\\Backup\\") + date + "/Data/old.txt", "old");
    }
    WriteFile(drives.Native("C:\\Backup\\Quillon.txt"),
              "Quillon-Run -- Processing Time: 2003-11-20 10:00\r\n"
              "7 runs until full backup\r\n"
              "C:\\Data\r\n"
              "# ===== Saved Backups:\r\n"
              "2003-11-01 F     60000 kBytes\r\n"
              "2003-11-10 I     30000 kBytes\r\n"
              "2003-11-20 I     50000 kBytes\r\n"
              "# ===== Files:\r\n");
    Set("Path000", "DelAfterMemory", 40);

    TempDir dir;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen((dir / "out").c_str(), "w"), std::fclose);
    ConsoleStreams streams;
    streams.Out = out.get();  // a file: nobody can answer
    ConsolePresenter console(streams);
    SetMessageBoxPresenter(MessageBoxesOnLoopThread(loop, console.BoxPresenter()));
    // A run a day, each with a new file in the source, so that each makes a set of its own.
    for (int day = 0; day < 3; ++day) {
        clock.Set(kNow + day * 86400);
        std::string file = "C:\\Data\\day" + std::to_string(day) + ".txt";
        WriteFile(drives.Native(file), "edited");
        ASSERT_TRUE(SetFileTimes(file, GetNow().Seconds() - 60, GetNow().Seconds() - 60));
        CQuillonRunApp run(loop, console);
        run.WorkerAtLowestPriority = false;
        run.Engine = RunAllPaths;
        run.Run();
    }
    std::fflush(out.get());
    const std::string output = ReadFile(dir / "out");
    for (const char* date :
         {"2003-11-01", "2003-11-10", "2003-11-20", "2003-11-24", "2003-11-25", "2003-11-26"}) {
        EXPECT_TRUE(std::filesystem::exists(drives.Native("C:\\Backup\\") + date)) << date << "\n" << output;
    }
    EXPECT_EQ(GetInt("Path000", "HideDialogs"), -999);  // never ticked
    EXPECT_EQ(GetInt("Path000", "DeleteFlags"), 0x01);  // deleting on, the disk-space rule off
    EXPECT_THAT(
        output,
        AllOf(HasSubstr("[ ] Please do not display this question again\n-> No (answered at once"),
              HasSubstr("will be removed.\n\nPlease check your settings"), ::testing::Not(HasSubstr("[x]"))));
    EXPECT_EQ(output.find("Are you sure"), output.rfind("Are you sure")) << "asked more than once\n"
                                                                         << output;
}

}  // namespace
}  // namespace quillon::testing
