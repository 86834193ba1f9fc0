#include "engine/FolderPrefetch.h"

#include "platform/LastError.h"

namespace quillon {

struct FolderPrefetch::Batch::Job {
    enum class State { kQueued, kClaimed, kDone };
    const WalkFolder* Parent;
    std::string Name;
    State Progress = State::kQueued;
    std::unique_ptr<FolderListing> Listing = std::make_unique<FolderListing>();
};

FolderPrefetch::FolderPrefetch(ListingScope scope, LinkEntries links, bool helperThread)
    : scope_(scope), links_(links), wantHelper_(helperThread) {}

FolderPrefetch::~FolderPrefetch() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (helper_.joinable()) {
        helper_.join();
    }
}

FolderPrefetch::Batch::Batch(FolderPrefetch& owner, const WalkFolder& parent,
                             const std::vector<std::string>& names)
    : owner_(owner) {
    jobs_.reserve(names.size());
    for (const std::string& name : names) {
        auto job = std::make_unique<Job>();
        job->Parent = &parent;
        job->Name = name;
        jobs_.push_back(std::move(job));
    }
    if (jobs_.empty()) {
        return;
    }
    {
        std::lock_guard lock(owner_.mutex_);
        owner_.batches_.push_back(this);
    }
    // The helper begins with the first folder that has subfolders: a source of files alone never
    // starts a thread.
    if (owner_.wantHelper_ && !owner_.helper_.joinable()) {
        owner_.helper_ = std::thread([&owner = owner_] { owner.HelperLoop(); });
    } else {
        owner_.changed_.notify_all();
    }
}

FolderPrefetch::Batch::~Batch() {
    if (jobs_.empty()) {
        return;
    }
    std::unique_lock lock(owner_.mutex_);
    queued_ = jobs_.size();  // what nobody has begun is never begun now
    for (size_t i = next_; i < jobs_.size(); ++i) {
        owner_.changed_.wait(lock, [&] { return jobs_[i]->Progress != Job::State::kClaimed; });
        if (jobs_[i]->Progress == Job::State::kDone) {
            owner_.Collect(*jobs_[i]);
        }
    }
    std::erase(owner_.batches_, this);
    lock.unlock();
    owner_.changed_.notify_all();
}

std::unique_ptr<FolderListing> FolderPrefetch::Batch::Take() {
    Job& job = *jobs_.at(next_++);
    std::unique_lock lock(owner_.mutex_);
    for (;;) {
        if (job.Progress == Job::State::kDone) {
            owner_.Collect(job);
            break;
        }
        if (job.Progress == Job::State::kQueued) {  // the helper has not got this far: list it here
            ++queued_;
            job.Progress = Job::State::kClaimed;
            lock.unlock();
            owner_.Run(job);
            lock.lock();
            job.Progress = Job::State::kDone;
            break;
        }
        // The helper is listing it: rather than wait, list a folder needed later.
        Job* other = owner_.RoomAhead() ? owner_.ClaimJob() : nullptr;
        if (other == nullptr) {
            owner_.changed_.wait(lock);
            continue;
        }
        lock.unlock();
        owner_.Run(*other);
        lock.lock();
        owner_.Finish(*other);
    }
    lock.unlock();
    owner_.changed_.notify_all();  // a place ahead is free again
    return std::move(job.Listing);
}

FolderPrefetch::Batch::Job* FolderPrefetch::ClaimJob() {
    // The newest batch holds the folders the scan needs soonest.
    for (auto batch = batches_.rbegin(); batch != batches_.rend(); ++batch) {
        Batch& b = **batch;
        if (b.queued_ < b.jobs_.size()) {
            Batch::Job* job = b.jobs_[b.queued_++].get();
            job->Progress = Batch::Job::State::kClaimed;
            return job;
        }
    }
    return nullptr;
}

void FolderPrefetch::Run(Batch::Job& job) const {
    FolderListing& out = *job.Listing;
    if (!out.Folder.OpenChild(*job.Parent, job.Name)) {
        out.Error = GetLastError();
        return;
    }
    if (!out.Folder.List(scope_, out.Entries, links_)) {
        out.Error = GetLastError();
        out.Entries.clear();
        return;
    }
    out.Listed = true;
}

void FolderPrefetch::Finish(Batch::Job& job) {
    job.Progress = Batch::Job::State::kDone;
    ++listedAhead_;
    entriesAhead_ += job.Listing->Entries.size();
    changed_.notify_all();
}

void FolderPrefetch::Collect(const Batch::Job& job) {
    --listedAhead_;
    entriesAhead_ -= job.Listing->Entries.size();
}

void FolderPrefetch::HelperLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        Batch::Job* job = nullptr;
        changed_.wait(lock, [&] {
            if (!stopping_ && RoomAhead()) {
                job = ClaimJob();
            }
            return stopping_ || job != nullptr;
        });
        if (job == nullptr) {
            return;
        }
        lock.unlock();
        Run(*job);
        lock.lock();
        Finish(*job);
    }
}

}  // namespace quillon
