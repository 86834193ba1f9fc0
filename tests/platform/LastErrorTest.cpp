#include "platform/LastError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "testing/TempDir.h"

namespace quillon {
namespace {

TEST(LastErrorTest, ErrnoMapsToWindowsNumbers) {
    const std::pair<int, int32_t> cases[] = {
        {0, 0},           {ENOTDIR, 3},        {EACCES, 5},   {EPERM, 5},   {ENOSPC, 112},  {EDQUOT, 112},
        {EROFS, 19},      {EBUSY, 32},         {ETXTBSY, 32}, {EIO, 30},    {EINVAL, 87},   {EEXIST, 183},
        {ENOTEMPTY, 145}, {ENAMETOOLONG, 206}, {EMFILE, 4},   {ESTALE, 55}, {ENETDOWN, 59}, {EPROTO, 31}};
    for (const auto& [err, windows] : cases) {
        EXPECT_EQ(WindowsErrorFromErrno(err), windows) << "errno " << err;
    }
    // A missing file is 2, a missing folder on the way to it 3.
    testing::TempDir dir;
    EXPECT_EQ(WindowsErrorFromErrno(ENOENT), kErrorFileNotFound);
    EXPECT_EQ(WindowsErrorFromErrno(ENOENT, dir / "missing.txt"), kErrorFileNotFound);
    EXPECT_EQ(WindowsErrorFromErrno(ENOENT, dir / "no/such/dir/missing.txt"), kErrorPathNotFound);
}

TEST(LastErrorTest, EachThreadHasItsOwnValue) {
    SetLastError(112);
    int32_t seenByOther = -1;
    std::thread([&] {
        seenByOther = GetLastError();
        SetLastError(5);
    }).join();
    EXPECT_EQ(seenByOther, 0);
    EXPECT_EQ(GetLastError(), 112);
}

}  // namespace
}  // namespace quillon
