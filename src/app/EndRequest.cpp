// The end of the program when the system asks for it (a signal), and the instance entry that every
// end clears.
#include "app/QuillonRunApp.h"

#include <csignal>
#include <string>
#include <vector>

#include "config/Registrierung.h"
#include "config/registrylit.h"
#include "log/ErrorLog.h"
#include "platform/BootClock.h"
#include "platform/TerminationSignals.h"
#include "platform/Trace.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

const char* SignalName(int signal) {
    switch (signal) {
        case SIGTERM:
            return "SIGTERM";
        case SIGINT:
            return "SIGINT";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal";
    }
}

}  // namespace

using namespace registrylit;

void CQuillonRunApp::RequestTermination(int signal) {
    int64_t now = BootMilliseconds();
    {
        std::lock_guard lock(requestMutex_);
        if (terminationSignal_.load() == 0) {
            terminationSignal_.store(signal);
            firstRequestAt_ = now;
            loop_.PostThreadMessage(WM_END_REQUEST);
            return;
        }
        // A session ending may send SIGTERM and SIGHUP together: signals that close behind the first
        // are the same request, not a user's second.
        if (now - firstRequestAt_ < kSameRequestMilliseconds) {
            return;
        }
    }
    Trace("*** Signal %d beim Beenden: sofortiges Ende\n", signal);
    EndProcess(128 + signal);
}

void CQuillonRunApp::OnEndRequest() {
    int signal = terminationSignal_.load();
    if (!holdsSemaphore_) {
        // Waiting for the scheduled time, or the run finished: nothing is left half done.
        Trace("Ende, weil das System es verlangt (Signal %d)\n", signal);
        loop_.PostThreadMessage(WM_QUIT);
        return;
    }
    // The worker is copying and cannot be stopped halfway. Whatever it has stored stays: the next run
    // finds the unfinished set as it finds one left by a crash, and copies what is missing. What must
    // not outlive the process is the claim to be running: other instances would wait minutes for a
    // semaphore nobody renews, and "RunningInstance" would name a generation that is gone. Each of
    // these writes is a hive transaction of its own beside any the worker has open, and one the worker
    // has open when the process ends is rolled back whole.
    Trace(
        "*** Ende w\344hrend der Sicherung, weil das System es verlangt (Signal %d): der n\344chste Lauf "
        "holt nach, was fehlt\n",
        signal);
    // The run's record is written before the end, so that an interrupted run never reads as the last
    // good one: its error lines, a line that says it was interrupted, status 2 and its time. The worker's
    // lines may be read only once it holds at a point between two files.
    bool resultsReadable = !RunInProgress.load(std::memory_order_acquire) || HoldAtNextTick(HoldMilliseconds);
    WriteRegistryInt(HKEY_LOCAL_MACHINE, kSemaphorePath, 0);
    holdsSemaphore_ = false;
    ClearRunningInstance();
    RecordInterruptedRun(signal, resultsReadable);
    EndProcess(128 + signal);
    ReleaseHold();  // EndProcess returns only where the program goes on (tests): the worker finishes
}

void CQuillonRunApp::RecordInterruptedRun(int signal, bool resultsReadable) {
    std::vector<std::string> lines;
    if (resultsReadable) {
        lines = CopyErrorList;
        CopyErrorList.clear();
    }
    std::string line = GetNow().Format(kTimeSecondPattern) + "  **** Run interrupted by signal " +
                       std::to_string(signal) + " (" + SignalName(signal) +
                       "): the next run saves what is missing";
    if (!resultsReadable) {
        line += "; the errors met before are not known";
    }
    lines.push_back(line);
    std::vector<char> buffer;  // the worker may still be using the run's copy buffer
    WriteErrorLog(*this, lines, buffer);
    WriteRegistryString(HKEY_LOCAL_MACHINE, kLastRunTimePath, FormatRegistryTime(RunTime));
    RunStatus = 2;
    WriteProfileInt(kDynData, kLastRunStatus, RunStatus);
}

void CQuillonRunApp::EndProcessWithRunningWorker(int status) {
    // The worker is let go rather than waited for: the process ends under it, as it would be killed.
    // Only the loop's thread owns the thread object; a second signal ends the process from the
    // watcher's thread without touching it.
    if (std::this_thread::get_id() == loopThread_ && worker_.joinable()) {
        worker_.detach();
    }
    EndProcessNow(status);
}

void CQuillonRunApp::ClearRunningInstance() {
    // Only the generation that is still current clears the entry: a newer instance owns it otherwise.
    int32_t generation = GetProfileInt(kDynData, kAktuellInstance, 0);
    if (StartedByWindows && generation == StartInstance) {
        WriteProfileInt(kDynData, kRunningInstance, -1);
    }
}

}  // namespace quillon
