// Fault seam of the file layer: lets tests make the Nth open, read, write, rename, deletion, directory
// creation or removal, or sync fail with a chosen errno, or run an action just before it.
//
// Every file operation of the platform layer asks CheckFault before it touches the disk. With nothing
// armed that costs one atomic load. The calls of each kind are counted from the last ClearFaults, so a
// test can first learn how many opens or writes an operation makes and then fail each one in turn.
//
// Test-only in purpose, but always compiled in so that the program under test is the program shipped.
// Thread-safe; the counters are shared by every thread, so tests that arm faults run one operation at a
// time.
#pragma once

#include <functional>

namespace quillon {

enum class FileOperation {
    kOpen,   // opening or creating a file
    kRead,   // one read request of a caller
    kWrite,  // one write request of a caller
    kRename,
    kDelete,  // removing a file or a link
    kCreateDirectory,
    kRemoveDirectory,
    kSync,        // forcing data to the disk
    kOpenFolder,  // opening a subfolder of a walk (WalkFolder::OpenChild)
};

// From now on, the nth call (1 = the next one) of operation fails with err without touching the disk.
// With sticky set every later call fails too (a disk that stays full). Replaces an earlier fault of the
// same operation; the call counter of the operation is not reset.
void InjectFault(FileOperation operation, int nth, int err, bool sticky = false);

// Runs action just before the nth call (counted like InjectFault) of operation, which then proceeds
// normally: a test can change the disk at a precise moment (shrink a file between two reads).
void InjectHook(FileOperation operation, int nth, std::function<void()> action);

// Disarms every fault and hook and sets every call counter to 0.
void ClearFaults();

// Calls of operation since the last ClearFaults.
int FaultCallCount(FileOperation operation);

// For the file layer: counts one call of operation and answers whether it must fail; then err is the
// errno to report. Runs a hook that is due.
bool CheckFault(FileOperation operation, int& err);

// Disarms everything when it goes out of scope, so that a failing test leaves no fault behind.
class ScopedFaults {
  public:
    ScopedFaults() { ClearFaults(); }
    ~ScopedFaults() { ClearFaults(); }
    ScopedFaults(const ScopedFaults&) = delete;
    ScopedFaults& operator=(const ScopedFaults&) = delete;
};

}  // namespace quillon
