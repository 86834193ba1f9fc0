// ProgressTexts: the three text lines of the progress dialog (status, path, kind) and the request to
// show the dialog, written by the engine on the worker thread and taken over by the dialog's timer on
// the user-interface thread.
//
// Thread-safe: every member may be called from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace quillon {

class ProgressTexts {
  public:
    struct Snapshot {
        std::string Status;
        std::string Path;
        std::string Kind;
        bool ShowRequested = false;
        uint64_t Version = 0;  // grows with every change, so a reader can skip unchanged texts
    };

    void SetStatus(const std::string& text) { Set(&Snapshot::Status, text); }
    void SetPath(const std::string& text) { Set(&Snapshot::Path, text); }
    void SetKind(const std::string& text) { Set(&Snapshot::Kind, text); }
    void RequestShow() {
        std::lock_guard lock(mutex_);
        texts_.ShowRequested = true;
        ++texts_.Version;
    }
    // Empties the three texts and withdraws the request to show, before the next run begins.
    void Clear() {
        std::lock_guard lock(mutex_);
        texts_.Status.clear();
        texts_.Path.clear();
        texts_.Kind.clear();
        texts_.ShowRequested = false;
        ++texts_.Version;
    }
    Snapshot Read() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }

  private:
    void Set(std::string Snapshot::*field, const std::string& text) {
        std::lock_guard lock(mutex_);
        if (texts_.*field != text) {
            texts_.*field = text;
            ++texts_.Version;
        }
    }
    mutable std::mutex mutex_;
    Snapshot texts_;  // guarded by mutex_
};

}  // namespace quillon
