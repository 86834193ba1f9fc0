// FolderPrefetch: the folders a scan is about to enter, opened and listed on a second thread as well.
//
// Listing a folder is mostly the system's work, a status call per entry, and a walk on one thread
// leaves the second core idle. Once the scan has listed a folder, it announces the subfolders it will
// enter, in the order it will enter them. A helper thread opens and lists them ahead; the scan takes
// each result when it gets there, and while the one it needs is still being listed it lists another
// announced folder itself. Every folder is opened exactly as the scan opens it (relative to the open
// folder above, never through a link), once, by one of the two threads.
//
// Results that the scan has not taken yet are kept to kListedAhead folders and about kEntriesAhead
// entries, so the memory and descriptors held ahead stay small however wide the tree and however
// large its folders are. Without the helper (threads off) the
// scan lists each folder itself when it enters it, as a plain walk does.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/DirectoryListing.h"

namespace quillon {

// One subfolder to open and list, and what came of it.
struct FolderListing {
    WalkFolder Folder;
    std::vector<FileInfo> Entries;
    bool Listed = false;  // opened and read; else Error tells why
    int32_t Error = 0;
};

class FolderPrefetch {
  public:
    static constexpr size_t kListedAhead = 64;
    static constexpr size_t kEntriesAhead = 65536;

    FolderPrefetch(ListingScope scope, LinkEntries links, bool helperThread);
    ~FolderPrefetch();  // ends the helper; every batch must be gone by then
    FolderPrefetch(const FolderPrefetch&) = delete;
    FolderPrefetch& operator=(const FolderPrefetch&) = delete;

    // The subfolders of one folder that the scan will enter, in that order. The folder must stay open
    // while the batch lives; the batch's destructor waits for any listing of it still under way.
    class Batch {
      public:
        Batch(FolderPrefetch& owner, const WalkFolder& parent, const std::vector<std::string>& names);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

        // The next subfolder's listing, in the order announced: opened and listed, or why not. The
        // caller owns it: the folder stays open while the caller holds it.
        std::unique_ptr<FolderListing> Take();

      private:
        friend class FolderPrefetch;
        struct Job;
        FolderPrefetch& owner_;
        std::vector<std::unique_ptr<Job>> jobs_;
        size_t next_ = 0;    // the job Take gives next
        size_t queued_ = 0;  // jobs before this one have been claimed by a thread
    };

  private:
    // Claims the first unclaimed job of the newest batch that has one; null when there is none.
    // Called with mutex_ held.
    Batch::Job* ClaimJob();
    bool RoomAhead() const { return listedAhead_ < kListedAhead && entriesAhead_ < kEntriesAhead; }
    void Collect(const Batch::Job& job);  // a finished job is taken or dropped; with mutex_ held
    void Run(Batch::Job& job) const;      // opens and lists; called without the lock
    void Finish(Batch::Job& job);         // with mutex_ held
    void HelperLoop();

    const ListingScope scope_;
    const LinkEntries links_;
    const bool wantHelper_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Batch*> batches_;  // the walk's open batches, outermost first
    // Finished jobs not taken yet, and their entries.
    size_t listedAhead_ = 0;
    size_t entriesAhead_ = 0;
    bool stopping_ = false;
    std::thread helper_;
};

}  // namespace quillon
