#include "files/IbZip.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "testing/CaptureMessages.h"
#include "testing/Environment.h"

namespace quillon {
namespace {

std::string BuiltLibrary() {
    const char* dir = std::getenv("QUILLON_TEST_BIN_DIR");
    return dir != nullptr ? std::string(dir) + "/libib-zip.so" : "/nonexistent/libib-zip.so";
}

class IbZipTest : public ::testing::Test {
  protected:
    testing::CaptureMessages messages_;
};

TEST_F(IbZipTest, AMissingLibraryIsShownOnceAndEveryForwarderAnswersNegative) {
    testing::ScopedEnv missing("QUILLON_IBZIP", "/nonexistent/libib-zip.so");
    IbZip zip;
    EXPECT_FALSE(zip.Open());
    EXPECT_EQ(messages_.Texts(),
              std::vector<std::string>{"Die Datei IB-ZIP.DLL konnte nicht initialisiert werden."});
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_LT(zip.IB_ZipFileSpec("C:\\Temp\\QuilRun\\*.*"), 0);
    EXPECT_LT(zip.IB_Zip(0), 0);
    EXPECT_LT(zip.IB_ZipCount(0), 0);

    // The failed Open released the lock: another thread's Open does not wait for it.
    std::thread([&zip] { EXPECT_FALSE(zip.Open()); }).join();
}

TEST_F(IbZipTest, TheLockIsHeldFromOpenToCloseAndAnyThreadMayClose) {
    testing::ScopedEnv library("QUILLON_IBZIP", BuiltLibrary());
    IbZip zip;
    ASSERT_TRUE(zip.Open()) << BuiltLibrary();
    EXPECT_TRUE(zip.Open());  // the holder again: neither a deadlock nor a second load
    EXPECT_EQ(zip.IB_Overwrite(1), 0);
    EXPECT_EQ(zip.IB_ZipFileSpec("C:\\Temp\\QuilRun\\*.*"), 0);
    EXPECT_LT(zip.IB_ZipCount(0), 0);  // bound only: the library does not support it

    std::atomic<bool> opened{false};
    std::thread waiter([&] {
        EXPECT_TRUE(zip.Open());
        opened = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(opened) << "Open of another thread must wait for Close";
    std::thread([&zip] { zip.Close(); }).join();
    waiter.join();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(zip.IsOpen());
    zip.Close();
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_TRUE(messages_.Shown.empty());
}

}  // namespace
}  // namespace quillon
