// Test fixture for the steps of a backup pass: a private drive C: holding a source tree, a run state,
// a source path record and a pass over both, in the time zone of Berlin on a fixed clock.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/RunState.h"
#include "platform/FileSystem.h"
#include "support/TextCase.h"
#include "support/TimeValue.h"
#include "testing/Environment.h"
#include "testing/FakeClock.h"
#include "testing/TempDir.h"

namespace quillon::testing {

class PassTest : public ::testing::Test {
  protected:
    // 2003-11-24 18:02:11 in Berlin.
    static constexpr int64_t kNow = 1'069'693'331;

    PassTest() {
        path_.SourcePath = "C:\\Src";
        path_.SourcePathUpper = "C:\\SRC";
        path_.DestPath = "C:\\Backup";
        pass_ = std::make_unique<BackupPass>(state_, path_);
    }

    // A file at a Windows-form path on C:, with its modification time (local fields).
    void File(const std::string& windowsPath, const std::string& content,
              TimeValue time = MakeTime(2003, 11, 20, 9, 30, 0)) {
        WriteFile(drives_.Native(windowsPath), content);
        ASSERT_TRUE(SetFileTimes(windowsPath, time.Seconds(), time.Seconds())) << windowsPath;
    }

    // Records a file in the previous file list, as the control file would have read it.
    void Recorded(const std::string& windowsPath, TimeValue time, bool pending = false) {
        auto* entry = pass_->PreviousFiles.Append(new FileEntry);
        entry->Path = windowsPath;
        entry->PathUpper = ToUpperPath(windowsPath);
        entry->Time = time;
        entry->Pending = pending;
    }

    void AddPattern(PArray<PatternEntry>& list, const std::string& text) {
        auto* entry = list.Append(new PatternEntry);
        entry->Pattern = text;
        entry->PatternUpper = ToUpperPath(text);
    }

    void Scan() { pass_->ScanDirectory(path_.SourcePath, path_.SourcePathUpper); }

    // The scanned entry of a path, or null.
    FileEntry* Current(const std::string& windowsPath) const {
        for (FileEntry* entry : pass_->CurrentFiles) {
            if (entry->Path == windowsPath) {
                return entry;
            }
        }
        return nullptr;
    }

    std::vector<std::string> ListedPaths() const {
        std::vector<std::string> paths;
        for (const FileEntry* entry : pass_->CurrentFiles) {
            paths.push_back(entry->Path);
        }
        return paths;
    }

    ScopedTimeZone zone_{"Europe/Berlin"};
    FakeClock clock_{kNow};
    ScopedDriveMap drives_;
    RunState state_;
    SourcePathRecord path_;
    std::unique_ptr<BackupPass> pass_;
};

}  // namespace quillon::testing
