// Scans of trees set up wrongly: a destination inside its own source, file times from a wrong clock.
#include "engine/PassTestTree.h"

namespace quillon {
namespace {

using ::testing::ElementsAre;

class ScanEdgeCasesTest : public testing::PassTest {};

TEST_F(ScanEdgeCasesTest, TheDestinationInsideTheSourceIsNeverScanned) {
    File("C:\\Src\\doc.txt", "x");
    File("C:\\Src\\Backup\\2003-11-20\\doc.txt", "an earlier set");
    File("C:\\Src\\Backup\\Quillon.txt", "its control file");
    File("C:\\Src\\Backup2\\keep.txt", "a folder that only looks like it");
    drives_.Map('d', drives_.DriveC() + "/Src");
    // However the destination is spelled, by its own path or through another drive.
    for (const char* dest : {"C:\\Src\\Backup", "D:\\Backup"}) {
        path_.DestPath = dest;
        DeleteAll(pass_->CurrentFiles);
        Scan();
        EXPECT_THAT(ListedPaths(), ElementsAre("C:\\Src\\Backup2\\keep.txt", "C:\\Src\\doc.txt")) << dest;
    }
}

// A file once stamped in the future (a camera or share with a wrong clock) and edited since has a time
// before the recorded one: that is a change, like any other time that differs.
TEST_F(ScanEdgeCasesTest, AnEditAfterARecordedTimeInTheFutureIsAChange) {
    const TimeValue future = testing::At(2030, 1, 1, 12, 0);
    const TimeValue past = testing::At(2003, 11, 1, 12, 0);
    struct Case {
        TimeValue recorded;
        TimeValue now;
        bool copied;
    } cases[] = {
        {future, testing::At(2003, 11, 24, 9, 0), true},  // edited today, after the wrong stamp
        {future, future, false},                          // unchanged since
        {past, testing::At(2003, 10, 1, 9, 0), true},     // an older version brought back
    };
    for (const Case& c : cases) {
        File("C:\\Src\\photo.jpg", "x", c.now);
        Recorded("C:\\Src\\photo.jpg", c.recorded);
        Scan();
        ASSERT_NE(Current("C:\\Src\\photo.jpg"), nullptr);
        EXPECT_EQ(Current("C:\\Src\\photo.jpg")->ToCopy, c.copied) << c.recorded.Format("%Y-%m-%d");
        DeleteAll(pass_->CurrentFiles);
        pass_->ForgetPreviousFiles();
    }
}

// The control file keeps minutes: a file copied within its recorded minute may have been edited later
// in that minute and still show the recorded time. Such files, and only those, are copied again.
TEST_F(ScanEdgeCasesTest, AFileCopiedWithinItsRecordedMinuteIsCopiedAgain) {
    const TimeValue previousPass = testing::At(2003, 11, 24, 10, 0, 20);
    struct Case {
        const char* label;
        TimeValue processing;  // the previous pass's start as its control file recorded it
        TimeValue time;        // the file's time, recorded unchanged
        bool copied;
    } cases[] = {
        {"in the minute of the previous pass", previousPass, testing::At(2003, 11, 24, 10, 0, 50), true},
        {"edited during the previous pass", previousPass, testing::At(2003, 11, 24, 10, 7), true},
        {"the minute before the previous pass", previousPass, testing::At(2003, 11, 24, 9, 59, 59), false},
        {"recorded long before", previousPass, testing::At(2003, 11, 20, 9, 30), false},
        {"a minute still to come", previousPass, testing::At(2030, 1, 1, 12, 0), false},
        {"no processing time recorded", TimeValue(), testing::At(2003, 11, 24, 10, 0, 50), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        File("C:\\Src\\doc.txt", "x", c.time);
        TimeValue recorded = c.time;
        recorded = recorded - TimeSpan(recorded.Seconds() % 60);  // the control file keeps minutes
        Recorded("C:\\Src\\doc.txt", recorded);
        pass_->PreviousProcessingTime = c.processing;
        Scan();
        ASSERT_NE(Current("C:\\Src\\doc.txt"), nullptr);
        EXPECT_EQ(Current("C:\\Src\\doc.txt")->ToCopy, c.copied);
        DeleteAll(pass_->CurrentFiles);
        pass_->ForgetPreviousFiles();
    }
}

}  // namespace
}  // namespace quillon
