// CQuillonRunApp: the application object, one per process. It reads the command line, binds the
// profile, keeps the instance bookkeeping, waits for the scheduled run time, starts each run on a
// worker thread, finishes it, and records the outcome at the end.
//
// It is the profile (CAppProfile) and the engine's run state (RunState) at once, so the engine, the
// progress dialog and the end of the run all see the same fields. Everything here runs on the
// user-interface thread (the loop's thread) except the engine on the worker thread, which shares only
// what RunState says it shares.
//
// Life: InitInstance, then the loop while InitInstance answered true, then ExitInstance (Run does all
// three). Driven by WM_SCHEDULE_WAIT, WM_START_RUN, WM_END_REQUEST, the wait window's timers and the
// progress dialog's.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/MessageLoop.h"
#include "app/ProgressDialog.h"
#include "app/RunPresenter.h"
#include "app/WaitWindow.h"
#include "config/AppProfile.h"
#include "engine/RunState.h"
#include "support/TimeValue.h"

namespace quillon {

class CQuillonRunApp : public CAppProfile, public RunState {
  public:
    // loop and presenter are not owned and outlive the application object.
    CQuillonRunApp(MessageLoop& loop, RunPresenter& presenter);
    ~CQuillonRunApp();  // waits for a worker that is still running
    CQuillonRunApp(const CQuillonRunApp&) = delete;
    CQuillonRunApp& operator=(const CQuillonRunApp&) = delete;

    // InitInstance, the message loop when it answered true, ExitInstance. Answers the process's exit
    // status (ExitStatus).
    int Run();
    // 0: the last run completed without errors, or nothing was to be saved, or no run was due;
    // 1: it completed with errors ("LastRunStatus" 2); kExitConfigurationProblem (2): a usage or
    // configuration problem kept it from running (ConfigurationProblem). A signal's end (128 + signal)
    // goes through EndProcess.
    int ExitStatus() const;
    static constexpr int kExitConfigurationProblem = 2;

    // Start-up: the switches of CommandLine, the profile, the instance entries, the wait window. True:
    // the loop runs (a run is scheduled or posted). False: the program ends without a run (started
    // with "/W" while automatic runs are off).
    bool InitInstance();
    // The instance entry and "LastRunStatus"; answers 0.
    int ExitInstance();
    // The message map for thread messages.
    void OnThreadMessage(uint32_t message);

    // Sets the wait window's timer 3 to the scheduled run time, or posts WM_START_RUN when no waiting
    // applies (not started with "/W", or scheduled running off).
    void OnScheduleWait();
    // Checks the instance and the schedule, takes the semaphore, loads the configuration, creates the
    // progress dialog and starts the worker thread (or ends the program / waits again).
    void OnStartRun();
    // Returns when the "Semaphore" value is free, unchanged for 3 minutes, or after 1 hour at most, and
    // early when the program has been asked to end; answers the value it saw last (positive when the
    // wait ran out).
    int32_t WaitForSemaphore();
    // Waits for the semaphore and takes it (value 1) without a moment in which another program could
    // take it as well. False, without taking it, when the program has been asked to end meanwhile.
    bool TakeSemaphore();
    // The end of a run, called by the progress dialog after the worker has ended: frees the semaphore,
    // records run times and the latest backup date, reports a disk error, writes the summary and the
    // error log, shows the list of uncopied files and frees the run's resources.
    void FinishRun();

    // Any thread: the system asks the program to end (signal: the signal's number). The first request
    // is posted to the loop as WM_END_REQUEST; one that comes kSameRequestMilliseconds or more later
    // ends the process at once (EndProcess) with 128 + signal, for a user who does not want to wait.
    void RequestTermination(int signal);
    static constexpr int64_t kSameRequestMilliseconds = 500;
    bool TerminationRequested() const { return terminationSignal_.load() != 0; }
    // WM_END_REQUEST. Without a run under way the program ends as it always does (the loop ends,
    // ExitInstance). During a run the worker is held at its next point between two files (at most
    // HoldMilliseconds), the semaphore is freed and "RunningInstance" cleared, the run's record is
    // written (RecordInterruptedRun), the unfinished set stays for the next run to complete, as after
    // a crash, and the process ends through EndProcess with 128 + signal.
    void OnEndRequest();
    int64_t HoldMilliseconds = 2000;

    MessageLoop& Loop() { return loop_; }
    RunPresenter& Presenter() { return presenter_; }
    CWaitWindow* WaitWindow() { return waitWindow_.get(); }
    CQuillonDlg* ProgressDialog() { return dialog_.get(); }
    // The progress dialog closes while the program stays (timer 1 of a resident program). The object
    // lives on until the next run or the end, since this is called from the dialog's own timer.
    void ForgetProgressDialog();

    // The engine the worker thread runs; RunAllPaths. Tests put a stand-in here. It must clear
    // RunInProgress as its last act; the worker clears it anyway should the engine throw.
    std::function<void(RunState&)> Engine;
    // The worker thread runs at a low priority (LowerThreadPriority).
    bool WorkerAtLowestPriority = true;
    // Ends the process with the given status while the worker may still run: by default the worker is
    // detached and the process ends at once (EndProcessNow). Tests put a recorder here, and the
    // program then goes on.
    std::function<void(int status)> EndProcess;

    // Start-up fields (RunState holds RunTime, RunDay, StartedByWindows, LastAutoRunTime,
    // DaylightSaving).
    std::string CommandLine;      // the switches, as one text (CommandLineFromArguments)
    bool NoCounterReset = false;  // "/T": the end of an automatic run leaves "CountNewFiles" alone
    int32_t InstanceNumber = 0;   // "/1" to "/9"; 0 without such a switch
    int32_t StartInstance = 0;    // DynData "AktuellInstance" as read at start-up
    bool LargeFonts = false;
    int32_t NoAutomaticRun = 0;  // Settings "NoAutomaticRun"
    int32_t RunStatus = 1;       // 0 files saved, 1 nothing to save, 2 errors; DynData "LastRunStatus"
    // A run found the configuration unreadable (a damaged user hive, a folder in its place): the run
    // failed before it began, and the program ends with kExitConfigurationProblem.
    bool ConfigurationProblem = false;
    std::string HelpFilePath;  // "QL.HLP" in the program's folder

    // Scheduling fields.
    int32_t RunAtTime = 0;   // Settings "RunAtTime": scheduled running is on
    TimeValue ScheduledRun;  // DynData "RunTime"
    bool IsAutoRun = false;  // this run is the first automatic run of the day

    // The dialog box that the wait window's timer 4 closes; set and cleared by the boxes themselves.
    std::atomic<AutoCloseDialog*> CurrentAutoCloseDialog{nullptr};
    // The progress timer's values that outlive a run.
    ProgressCarryOver ProgressCarry;

  private:
    void StartWorker();
    // The run's error for a profile that cannot be read (error: ProfileReadError): shown and logged
    // by FinishRun like a disk error.
    void ReportUnreadableProfile(int32_t error);
    void JoinWorker();
    // Frees the copy buffer and the staging folder and closes the compression library.
    void FreeRunResources();
    // The summary of a run that saved nothing because no path was due (a start at login runs only the
    // paths due today): "Not due until <date>." with the earliest date a path is due; empty when a path
    // took part in the run.
    std::string NotDueSummary();
    void EndProcessWithRunningWorker(int status);
    // The record of a run ended by a signal: the worker's error lines (when resultsReadable) and a line
    // that says the run was interrupted go to the error log; "LastRunTime" and "LastRunStatus" 2.
    void RecordInterruptedRun(int signal, bool resultsReadable);
    // DynData "RunningInstance" := -1, when started with "/W" and the generation is still this one's.
    void ClearRunningInstance();

    MessageLoop& loop_;
    RunPresenter& presenter_;
    std::unique_ptr<CWaitWindow> waitWindow_;
    std::unique_ptr<CQuillonDlg> dialog_;
    std::unique_ptr<CQuillonDlg> closedDialog_;  // closed by its own timer; deleted at the next run
    std::thread worker_;
    const std::thread::id loopThread_ = std::this_thread::get_id();  // the thread that made the object
    bool holdsSemaphore_ = false;            // taken by OnStartRun, freed by FinishRun
    bool waitNoticeShown_ = false;           // this run's wait for another one has been announced
    std::mutex requestMutex_;                // taken by RequestTermination
    std::atomic<int> terminationSignal_{0};  // the signal of the first end request; 0: none
    int64_t firstRequestAt_ = 0;             // guarded by requestMutex_: its boot milliseconds
};

}  // namespace quillon
