#include "app/QuillonRunApp.h"

#include <exception>
#include <new>
#include <system_error>

#include "app/CommandLine.h"
#include "config/ConfigDescription.h"
#include "config/PathConfig.h"
#include "config/Registrierung.h"
#include "config/registrylit.h"
#include "engine/RunAllPaths.h"
#include "log/ErrorLog.h"
#include "platform/Clock.h"
#include "platform/LastError.h"
#include "platform/RegistryHive.h"
#include "platform/ThreadPriority.h"
#include "platform/Trace.h"
#include "support/LineBufferPool.h"
#include "support/TextCase.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

using namespace registrylit;

constexpr char kHelpFileName[] = "QL.HLP";
constexpr int32_t kMaxWaitSeconds = 1'000'000;
constexpr int kSemaphoreQuietPolls = 36;   // 3 minutes without a change: the holder is gone
constexpr int kSemaphoreTotalPolls = 720;  // 1 hour at most
constexpr int64_t kSemaphorePollMilliseconds = 5000;

TimeValue DayOf(TimeValue t) {
    TruncateToDay(t);
    return t;
}

}  // namespace

CQuillonRunApp::CQuillonRunApp(MessageLoop& loop, RunPresenter& presenter)
    : Engine(RunAllPaths),
      EndProcess([this](int status) { EndProcessWithRunningWorker(status); }),
      loop_(loop),
      presenter_(presenter) {
    Profile = this;
}

CQuillonRunApp::~CQuillonRunApp() {
    JoinWorker();
}

int CQuillonRunApp::Run() {
    if (InitInstance()) {
        loop_.Run([this](uint32_t message) { OnThreadMessage(message); });
    }
    ExitInstance();
    return ExitStatus();
}

int CQuillonRunApp::ExitStatus() const {
    if (ConfigurationProblem) {
        return kExitConfigurationProblem;
    }
    return RunStatus == 2 ? 1 : 0;
}

void CQuillonRunApp::OnThreadMessage(uint32_t message) {
    switch (message) {
        case WM_SCHEDULE_WAIT:
            OnScheduleWait();
            break;
        case WM_START_RUN:
            OnStartRun();
            break;
        case WM_END_REQUEST:
            OnEndRequest();
            break;
        case WM_WORKER_ENDED:
            if (dialog_ != nullptr) {
                dialog_->OnWorkerEnded();
            }
            break;
        default:
            break;
    }
}

bool CQuillonRunApp::InitInstance() {
    // Switches; later ones overwrite earlier ones, parsing stops at the first empty word.
    std::string line = CommandLine;
    for (std::string word = NextCommandLineWord(line); !word.empty(); word = NextCommandLineWord(line)) {
        word = ToUpperPath(word);
        if (word == "/W") {
            StartedByWindows = true;
        } else if (word == "/T") {
            NoCounterReset = true;
        } else if (word.size() == 2 && word[0] == '/' && word[1] >= '1' && word[1] <= '9') {
            InstanceNumber = word[1] - '0';
        } else if (word == "/F") {
            // accepted without effect
        } else {
            Trace("*** Ung\xFCltiger Aufrufparameter: %s\n", word.c_str());
        }
    }

    RunTime = GetNow();
    RunDay = DayOf(RunTime);

    BindProfile(InstanceNumber);
    if (StartedByWindows) {
        WriteProfileString(kDynData, kLastWindowsStartTime, RunTime.Format(kTimeSecondPattern));
    }

    std::string folder = ProgramDirectory();
    HelpFilePath = folder.empty() ? kHelpFileName : folder + "\\" + kHelpFileName;

    StartInstance = GetProfileInt(kDynData, kAktuellInstance, 0);
    if (StartedByWindows) {
        WriteProfileInt(kDynData, kRunningInstance, StartInstance);
    }
    LastAutoRunTime = ParseRegistryTime(GetRegistryString(HKEY_LOCAL_MACHINE, kLastAutoRunTimePath, ""));

    waitWindow_ = std::make_unique<CWaitWindow>(*this);
    DaylightSaving = IsDaylightSavingToday();
    LargeFonts = presenter_.IsLargeFontSystem();
    NoAutomaticRun = GetProfileInt(kSettings, kNoAutomaticRun, 0);

    if (StartedByWindows && NoAutomaticRun != 0) {
        return false;
    }
    WaitForSemaphore();
    OnScheduleWait();
    return true;
}

int CQuillonRunApp::ExitInstance() {
    JoinWorker();
    ClearRunningInstance();
    WriteProfileInt(kDynData, kLastRunStatus, RunStatus);

    dialog_.reset();
    closedDialog_.reset();
    waitWindow_.reset();
    FreeLineBuffers();
    return 0;
}

void CQuillonRunApp::OnScheduleWait() {
    RunAtTime = GetProfileInt(kSettings, kRunAtTime, 0);
    if (RunAtTime == 0 || !StartedByWindows) {
        loop_.PostThreadMessage(WM_START_RUN);
        return;
    }
    RunTime = GetNow();
    RunDay = DayOf(RunTime);
    ScheduledRun = ParseRegistryTime(GetProfileString(kDynData, kRunTime, ""));

    int64_t seconds = int64_t{ScheduledRun.Seconds()} - RunTime.Seconds();
    if (seconds < 1) {
        seconds = 1;
    }
    if (seconds > kMaxWaitSeconds) {
        seconds = kMaxWaitSeconds;  // a longer wait is cut and looked at again when it ends
    }
    Trace("Beginning wait %d seconds (CurrentTime: %s  NextRun: %s)\n", static_cast<int>(seconds),
          RunTime.Format(kTimeSecondPattern).c_str(), ScheduledRun.Format(kTimeSecondPattern).c_str());
    presenter_.ShowNotice("Next run: " + ScheduledRun.Format("%Y-%m-%d %H:%M"));
    loop_.SetTimer(*waitWindow_, CWaitWindow::kScheduleTimer, seconds * 1000);
}

void CQuillonRunApp::OnStartRun() {
    if (TerminationRequested()) {
        return;  // the end request is queued or handled already: no new run
    }
    // A second start while a run is under way would run two workers over one run state.
    if (dialog_ != nullptr || worker_.joinable()) {
        Trace("*** OnStartRun: Sicherung l\xE4uft noch\n");
        return;
    }

    RunTime = GetNow();
    RunDay = DayOf(RunTime);
    FirstErrorCode = 0;
    PassErrorLine.clear();
    PassErrorMessage.clear();
    DaylightSaving = IsDaylightSavingToday();
    LastAutoRunTime = ParseRegistryTime(GetRegistryString(HKEY_LOCAL_MACHINE, kLastAutoRunTimePath, ""));
    IsAutoRun = LastAutoRunTime < RunDay && (StartedByWindows || NoAutomaticRun != 0);
    CountNewFiles = IsAutoRun ? GetRegistryInt(HKEY_LOCAL_MACHINE, kCountNewFilesPath, 0) : 0;

    if (RunAtTime != 0 && StartedByWindows) {
        int32_t generation = GetProfileInt(kDynData, kAktuellInstance, 0);
        RunAtTime = GetProfileInt(kSettings, kRunAtTime, 0);
        NoAutomaticRun = GetProfileInt(kSettings, kNoAutomaticRun, 0);
        if (NoAutomaticRun != 0) {
            RunAtTime = 0;
        }
        if (generation != StartInstance || RunAtTime == 0) {
            Trace("Ende, weil diese Instanz nicht mehr ben\xF6tigt wird\n");
            loop_.PostThreadMessage(WM_QUIT);
            return;
        }
        ScheduledRun = ParseRegistryTime(GetProfileString(kDynData, kRunTime, ""));
        if (RunTime < ScheduledRun) {
            loop_.PostThreadMessage(WM_SCHEDULE_WAIT);  // woken early, or the wait was cut
            return;
        }
        while (ScheduledRun <= RunTime) {
            AddDays(ScheduledRun, 1);
        }
        WriteProfileString(kDynData, kRunTime, FormatRegistryTime(ScheduledRun));
    }

    if (!TakeSemaphore()) {
        return;
    }

    // An unreadable user hive reads as an empty configuration, and the run would end "No changed file
    // found." as if nothing were configured: it is a failed run instead, reported like a disk error,
    // and nothing is backed up.
    int32_t profileError = ProfileReadError();
    if (profileError != kErrorSuccess) {
        ReportUnreadableProfile(profileError);
        ClearPathConfig(Paths);
    } else {
        LoadPathConfig(*this, Paths, ActivityCounter);
    }

    closedDialog_.reset();
    Texts.Clear();
    dialog_ = std::make_unique<CQuillonDlg>(*this, presenter_.CreateProgressView(LargeFonts));
    loop_.SetTimer(*dialog_, CQuillonDlg::kProgressTimer, CQuillonDlg::kProgressMilliseconds);

    ErrorFlag = false;
    if (profileError != kErrorSuccess) {
        return;  // the dialog's next tick ends the run with its error
    }
    ZipLibrary.Open();

    Trace("\n");
    // Without its buffer or its thread the run cannot begin; it then ends at the dialog's next tick
    // with the error reported like any other, instead of taking the program down.
    try {
        CopyBuffer.assign(kCopyBufferSize, '\0');
    } catch (const std::bad_alloc&) {
        Trace("*** CopyBuffer: kein Speicher\n");
        FirstErrorCode = kErrorNotEnoughMemory;
        return;
    }
    RunInProgress.store(true);
    StartWorker();
}

void CQuillonRunApp::ReportUnreadableProfile(int32_t error) {
    ConfigurationProblem = true;
    std::string hive = HiveFilePath(HiveRoot::kCurrentUser);
    std::string text = DescribeUnreadableHive(error) + ". Nothing was backed up.";
    text[0] = 'T';
    Trace("*** Konfiguration nicht lesbar: >%s< (%d)\n", hive.c_str(), error);
    FirstErrorCode = error == kErrorBadDb ? kErrorBadDb : kErrorCantOpenKey;
    PassErrorLine = GetNow().Format(kTimeSecondPattern) + "  " + text;
    PassErrorMessage = text;
}

void CQuillonRunApp::StartWorker() {
    try {
        worker_ = std::thread([this] {
            if (WorkerAtLowestPriority && !LowerThreadPriority()) {
                Trace("** Priorit\xE4t des Sicherungs-Threads nicht gesenkt\n");
            }
            try {
                Engine(*this);
            } catch (const std::exception& error) {
                Trace("*** Sicherungs-Thread: %s\n", error.what());
                ErrorFlag = true;
            }
            RunInProgress.store(false, std::memory_order_release);
            loop_.PostThreadMessage(WM_WORKER_ENDED);
        });
    } catch (const std::system_error& error) {
        Trace("*** Sicherungs-Thread nicht gestartet: %s\n", error.what());
        FirstErrorCode = kErrorNotEnoughMemory;
        RunInProgress.store(false);
    }
}

void CQuillonRunApp::JoinWorker() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool CQuillonRunApp::TakeSemaphore() {
    // Two programs that find the semaphore free at the same moment must not both take it: it is taken
    // only while it is still free, checked and written in one transaction, and the loser waits again. A
    // wait that ran out takes it regardless.
    for (;;) {
        int32_t seen = WaitForSemaphore();
        if (TerminationRequested()) {
            return false;
        }
        if (seen > 0) {
            WriteRegistryInt(HKEY_LOCAL_MACHINE, kSemaphorePath, 1);
        } else if (!TakeRegistryInt(HKEY_LOCAL_MACHINE, kSemaphorePath, 1)) {
            Trace("Semaphore taken by another program\n");
            continue;
        }
        holdsSemaphore_ = true;
        WriteRegistryString(HKEY_LOCAL_MACHINE, kSemaphoreTakenPath, FormatRegistryTime(GetNow()));
        return true;
    }
}

int32_t CQuillonRunApp::WaitForSemaphore() {
    int32_t value = GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphorePath, 0);
    if (value > 0 && !waitNoticeShown_) {
        // Once: a program that waits minutes without a word looks hung.
        waitNoticeShown_ = true;
        TimeValue taken = ParseRegistryTime(GetRegistryString(HKEY_LOCAL_MACHINE, kSemaphoreTakenPath, ""));
        std::string which =
            taken.Seconds() > 0 ? "the run started at " + taken.Format("%H:%M") : "another run";
        presenter_.ShowNotice("Waiting for " + which +
                              " to end. (A run that ended without a word is given up after 3 minutes "
                              "without a sign of life, twice: 6 minutes.)");
    }
    int quiet = kSemaphoreQuietPolls;
    int total = kSemaphoreTotalPolls;
    // A program asked to end stops waiting: the system gives it only seconds before it kills it.
    while (value > 0 && quiet > 0 && total > 0 && !TerminationRequested()) {
        --quiet;
        --total;
        Trace("Waiting for Semaphore: %2d\n", quiet);
        SleepMilliseconds(kSemaphorePollMilliseconds);
        int32_t next = GetRegistryInt(HKEY_LOCAL_MACHINE, kSemaphorePath, 0);
        if (next != value) {
            quiet = kSemaphoreQuietPolls;  // a live holder renews its value
        }
        value = next;
    }
    return value;
}

void CQuillonRunApp::ForgetProgressDialog() {
    closedDialog_ = std::move(dialog_);
}

}  // namespace quillon
