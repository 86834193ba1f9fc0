// A destination configured inside its own source tree.
#include "engine/PassTestTree.h"

namespace quillon {
namespace {

using ::testing::ElementsAre;

class ScanDestinationTest : public testing::PassTest {};

TEST_F(ScanDestinationTest, TheDestinationInsideTheSourceIsNeverScanned) {
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

}  // namespace
}  // namespace quillon
