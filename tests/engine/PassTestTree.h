// Test fixtures of the engine, in the time zone of Berlin on a fixed clock: PassTest for the steps of
// one backup pass, RunTest for whole runs configured through the registry. It includes what the engine
// tests use.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <ranges>
#include <string>
#include <vector>

#include "config/AppProfile.h"
#include "config/PathConfig.h"
#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/ControlFile.h"
#include "engine/RunAllPaths.h"
#include "engine/RunState.h"
#include "files/CopyFile.h"
#include "platform/FaultInjection.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "support/LineArchive.h"
#include "support/TextCase.h"
#include "support/TimeText.h"
#include "support/TimeValue.h"
#include "testing/CaptureMessages.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/FakeClock.h"
#include "testing/ScopedHives.h"
#include "testing/TempDir.h"

namespace quillon::testing {

// The lines as the bytes of a file: each ends with CR LF.
inline std::string Joined(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line + "\r\n";
    }
    return bytes;
}

// The names in a native folder, sorted; a copy's temporary shown as "<temporary>".
inline std::vector<std::string> NamesIn(const std::string& native) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(native)) {
        const std::string name = entry.path().filename().string();
        names.push_back(IsTemporaryCopyName(name) ? "<temporary>" : name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The parts of "a|b" ({} for ""), each but those beginning with "C:" put below prefix.
inline std::vector<std::string> Split(std::string_view text, const std::string& prefix = "") {
    std::vector<std::string> parts;
    for (auto part : text | std::views::split('|')) {
        const std::string name(part.begin(), part.end());
        parts.push_back(name.starts_with("C:") ? name : prefix + name);
    }
    return parts;
}

// Replaces the patterns of list with those of texts ("a|b").
inline void SetPatterns(PArray<PatternEntry>& list, const std::string& texts) {
    DeleteAll(list);
    for (const std::string& text : Split(texts)) {
        auto* entry = list.Append(new PatternEntry);
        entry->Pattern = text;
        entry->PatternUpper = ToUpperPath(text);
    }
}

inline TimeValue At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return MakeTime(year, month, day, hour, minute, second);
}

class PassTest : public ::testing::Test {
  protected:
    // 2003-11-24 18:02:11 in Berlin.
    static constexpr int64_t kNow = 1'069'693'331;

    PassTest() {
        path_.SourcePath = "C:\\Src";
        path_.SourcePathUpper = "C:\\SRC";
        path_.DestPath = "C:\\Backup";
    }

    // A fresh pass over path_, with the errors of the run so far forgotten.
    void NewPass() {
        pass_ = std::make_unique<BackupPass>(state_, path_);
        state_.ErrorFlag = false;
        state_.PassErrorLine.clear();
        state_.CopyErrorList.clear();
        state_.UncopiedFiles.clear();
    }

    // A file at a Windows-form path on C:, with its modification time (local fields).
    void File(const std::string& windowsPath, const std::string& content,
              TimeValue time = MakeTime(2003, 11, 20, 9, 30, 0)) {
        WriteFile(drives_.Native(windowsPath), content);
        ASSERT_TRUE(SetFileTimes(windowsPath, time.Seconds(), time.Seconds())) << windowsPath;
    }

    // Records a file in the previous file list, as the control file would have read it.
    void Recorded(const std::string& windowsPath, TimeValue time, bool pending = false) {
        pass_->PreviousFiles.Append(new FileEntry{.Path = windowsPath, .Time = time, .Pending = pending});
    }

    void Scan() { pass_->ScanDirectory(path_.SourcePath, path_.SourcePathUpper); }

    // The scanned entry of a path, or null.
    FileEntry* Current(const std::string& windowsPath) const {
        FileEntry* const* found = std::ranges::find(pass_->CurrentFiles, windowsPath, &FileEntry::Path);
        return found != pass_->CurrentFiles.end() ? *found : nullptr;
    }

    std::vector<std::string> ListedPaths() const {
        auto paths = pass_->CurrentFiles | std::views::transform(&FileEntry::Path);
        return {paths.begin(), paths.end()};
    }

    ScopedTimeZone zone_{"Europe/Berlin"};
    FakeClock clock_{kNow};
    ScopedDriveMap drives_;
    RunState state_;
    SourcePathRecord path_;
    std::unique_ptr<BackupPass> pass_ = std::make_unique<BackupPass>(state_, path_);
};

// A source tree C:\Data, its destination C:\Backup, a profile of its own, and runs at chosen times, each
// prepared as the application prepares it: the configuration loaded from the registry anew.
class RunTest : public ::testing::Test {
  protected:
    RunTest() {
        profile_.BindProfile(0);
        run_.Profile = &profile_;
        run_.CopyBuffer.resize(kCopyBufferSize);
        Set("SourcePath", "C:\\Data");
        Set("DestPath", "C:\\Backup");
        std::filesystem::create_directories(Native("C:\\Data"));
    }

    void Set(const std::string& entry, const std::string& text) {
        ASSERT_TRUE(profile_.WriteProfileString("Path000", entry, text));
    }
    void Set(const std::string& entry, int32_t value) {
        ASSERT_TRUE(profile_.WriteProfileInt("Path000", entry, value));
    }
    std::string Get(const std::string& name) { return profile_.GetProfileString("Path000", name, "<none>"); }
    std::string Native(const std::string& windowsPath) { return drives_.Native(windowsPath); }
    // Writes source files below C:\Data with their modification times.
    struct SourceFile {
        std::string relative, contents;
        TimeValue modified;
    };
    void Sources(std::initializer_list<SourceFile> files) {
        for (const auto& [relative, contents, modified] : files) {
            WriteFile(Native("C:\\Data\\" + relative), contents);
            ASSERT_TRUE(SetFileTimes("C:\\Data\\" + relative, modified.Seconds(), modified.Seconds()));
        }
    }
    bool Exists(const std::string& windowsPath) { return std::filesystem::exists(Native(windowsPath)); }
    // The contents of a file below C:\Backup, or "<none>".
    std::string Saved(const std::string& relative) {
        const std::string path = "C:\\Backup\\" + relative;
        return Exists(path) ? ReadFile(Native(path)) : "<none>";
    }
    std::string Control(std::string dest = "C:\\Backup") { return ReadFile(Native(dest + "\\Quillon.txt")); }

    void RunAt(TimeValue now, bool startedByWindows = false) {
        clock_.Set(now.Seconds());
        LoadPathConfig(profile_, run_.Paths, run_.ActivityCounter);
        run_.RunTime = GetNow();
        run_.RunDay = run_.RunTime;
        TruncateToDay(run_.RunDay);
        run_.StartedByWindows = startedByWindows;
        run_.FirstErrorCode = 0;
        run_.ErrorFlag = false;
        run_.CopyErrorList.clear();
        run_.PassErrorLine.clear();
        run_.PassErrorMessage.clear();
        run_.RunInProgress = true;
        RunAllPaths(run_);
        EXPECT_FALSE(run_.RunInProgress);
    }

    ScopedTimeZone zone_{"Europe/Berlin"};
    FakeClock clock_{0};
    ScopedDriveMap drives_;
    ScopedHives hives_;
    CAppProfile profile_;
    RunState run_;
};

}  // namespace quillon::testing
