// RunState: everything one run of the engine shares with the rest of the program.
//
// The application object owns one RunState for the whole process. Before each run the
// user-interface thread fills the configuration and the inputs; the worker thread then runs
// RunAllPaths over it. While the worker runs, the user-interface thread polls only the atomic fields
// and the progress texts; it reads the results of the run after it has seen RunInProgress turn false
// (that store releases every earlier write of the worker, and the load acquires them).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "config/PathConfig.h"
#include "engine/PassPreview.h"
#include "engine/ProgressTexts.h"
#include "files/IbZip.h"
#include "support/TimeValue.h"

namespace quillon {

class CAppProfile;

struct RunState {
    RunState();

    // The profile the pass writes the run state of each path to; bound by start-up.
    const CAppProfile* Profile = nullptr;

    // Configuration of the run: PathRecords, CurrentPath and the three application-wide settings.
    PathConfig Paths;

    // Inputs, set by the application before the worker starts.
    TimeValue RunTime;              // when the run started
    TimeValue RunDay;               // RunTime at 00:00:00
    TimeValue LastAutoRunTime;      // the last automatic run, for CountNewFiles
    bool StartedByWindows = false;  // started with "/W"
    bool DaylightSaving = false;    // daylight-saving time is in effect today
    std::vector<char> CopyBuffer;   // the copy buffer of the run (1 000 000 bytes)
    // The run only looks: each pass tells in Previews what it would do and changes nothing.
    bool DryRun = false;

    // The compression library: the user-interface thread opens it before the worker starts and closes
    // it after the run; the worker packs and reads the archives of compressed sets through it.
    IbZip ZipLibrary;

    // Set by RunAllPaths: 00:00:00 of the day before RunDay.
    TimeValue PreviousDay;

    // Shared with the user-interface thread while the worker runs.
    std::atomic<bool> RunInProgress{false};
    std::atomic<int32_t> ActivityCounter{0};  // raised for every entry scanned, file copied, line written
    std::atomic<int32_t> DeleteQuestion{0};   // 0 idle; 1 the engine waits; 0 or -1 the user's answer
    std::atomic<int64_t> BytesToCopy{0};
    std::atomic<int64_t> BytesCopied{0};     // -1 once a copy loop has ended
    std::atomic<bool> CompressPhase{false};  // an archive is being packed
    std::atomic<int32_t> ZipNumber{-1};      // archive of the current set; -1 before the first
    std::atomic<int32_t> FilesStored{0};     // files of the pass known to be safely stored
    ProgressTexts Texts;

    // Results of the run, read by the end of the run.
    int32_t FirstErrorCode = 0;
    bool ErrorFlag = false;
    std::string PassErrorLine;
    std::string PassErrorMessage;
    std::vector<std::string> CopyErrorList;  // time-stamped error lines, in order of occurrence
    std::vector<std::string> UncopiedFiles;  // full source paths of files that could not be copied
    bool CopyPerformed = false;
    int32_t RunFilesCopied = 0;
    int32_t CountNewFiles = 0;
    TimeValue LatestSetDate;            // starts at 1990-01-01 00:00:00, only ever raised
    std::string TempDirPath;            // staging folder of compressed sets; empty until first needed
    std::vector<PassPreview> Previews;  // one per pass of a run that only looks (DryRun)

    // Raises ActivityCounter by one. A worker asked to hold (HoldAtNextTick) stops here: every Tick
    // lies between two entries, files, lines or sets, where the results above are whole.
    void Tick() {
        ActivityCounter.fetch_add(1, std::memory_order_relaxed);
        if (holdRequested_.load(std::memory_order_relaxed)) {
            Hold();
        }
    }

    // User-interface thread, while the worker runs (the program is being ended by a signal): asks the
    // worker to stop at its next Tick and waits at most `milliseconds` of real time for it. True: the
    // worker holds, and every result it has written is the caller's to read. False: it did not come
    // by in time (a long copy, a wait), and its results must not be touched.
    bool HoldAtNextTick(int64_t milliseconds);
    // Lets a held worker go on (only where the program goes on after all, as in tests).
    void ReleaseHold();

  private:
    void Hold();

    std::atomic<bool> holdRequested_{false};
    std::mutex holdMutex_;
    std::condition_variable holdChanged_;
    bool held_ = false;  // guarded by holdMutex_: the worker waits in Hold
};

// The size of the run's copy buffer.
inline constexpr int32_t kCopyBufferSize = 1'000'000;

}  // namespace quillon
