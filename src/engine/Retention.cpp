// Retention: dropping the sets that disappeared from the destination, and deleting the oldest sets
// by the path's delete rules, bounded by its keep rules.
//
// Deletion always works from the oldest end of SavedBackups: the rules give a number of oldest sets
// to consider, and each of them is deleted unless it is protected or cannot be deleted. A set that
// stays uses up its turn; a newer set never takes its place.

#include <climits>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/SourcePathRecord.h"
#include "engine/BackupPass.h"
#include "engine/RunState.h"
#include "files/DeleteTree.h"
#include "files/FileStatus.h"
#include "platform/DirectoryListing.h"
#include "platform/FileAttributes.h"
#include "platform/LastError.h"
#include "platform/Trace.h"
#include "support/LineBufferPool.h"
#include "support/StringTable.h"
#include "support/TimeText.h"

namespace quillon {
namespace {

// No rule bounds the deletion yet.
constexpr int64_t kNoBound = 999999;

// How long the engine waits between two looks at the user's answer.
constexpr int32_t kQuestionPollMilliseconds = 1000;

// days back from time, without overflowing on the most negative setting.
TimeValue DaysBefore(TimeValue time, int32_t days) {
    AddDays(time, days == INT32_MIN ? INT32_MAX : -days);
    return time;
}

// The number of sets, from the oldest, dated on a day before limit.
int64_t LeadingSetsBefore(const PArray<SavedBackup>& sets, TimeValue limit) {
    int32_t i = 0;
    while (i < sets.Count() && IsEarlierDay(sets.Get(i)->Date, limit)) {
        ++i;
    }
    return i;
}

// The number of oldest sets that must go so that the newest ones fit into megabytes (of 1000 KB).
// The set at which the sum first exceeds the limit goes too.
int64_t SetsBeyondMemory(const PArray<SavedBackup>& sets, int32_t megabytes) {
    int64_t sumKB = 0;
    for (int32_t i = sets.Count() - 1; i >= 0; --i) {
        sumKB += sets.Get(i)->SizeKB;
        if (static_cast<double>(sumKB) / 1000.0 > megabytes) {
            return int64_t{i} + 1;
        }
    }
    return 0;
}

// The index of the wanted-th newest full set, counted from the newest; -1 when there are fewer.
// Everything from that set on is protected. A count of 0 or less stops at the newest set.
int64_t OldestProtectedFullSet(const PArray<SavedBackup>& sets, int32_t wanted) {
    int32_t found = 0;
    int32_t i = sets.Count() - 1;
    for (; i >= 0; --i) {
        if (sets.Get(i)->Full) {
            ++found;
        }
        if (found >= wanted) {
            break;
        }
    }
    return i;
}

// A path that excludes every file and forces none stores nothing any more; its last set may go too.
bool BacksUpNothing(const SourcePathRecord& path) {
    if (!path.ForceList.IsEmpty()) {
        return false;
    }
    for (const PatternEntry* pattern : path.ExcludeList) {
        if (pattern->Pattern == "*") {
            return true;
        }
    }
    return false;
}

std::string SetDirectory(const SourcePathRecord& path, const SavedBackup& set) {
    return path.DestPath + "\\" + set.Date.Format(kDatePattern);
}

}  // namespace

void BackupPass::DropVanishedSets() {
    // The list is rebuilt in one sweep: taking each vanished set out on its own would move all the
    // sets behind it every time, and a control file of many sets would take minutes.
    PArray<SavedBackup> kept;
    std::vector<SavedBackup*> vanished;
    for (SavedBackup* set : SavedBackups) {
        State.Tick();
        DirectorySearch search;
        FileInfo first;
        // A listing of an existing directory always finds "." at least. Only a directory that is not
        // there drops its set; one that cannot be read for another reason (a drive that is gone for a
        // moment) keeps its line in the control file.
        if (!search.First(SetDirectory(Path, *set) + "\\*.*", first)) {
            const int32_t error = GetLastError();
            if (error == kErrorPathNotFound || error == kErrorFileNotFound) {
                vanished.push_back(set);
                continue;
            }
        }
        kept.Append(set);
    }
    SavedBackups = std::move(kept);
    for (SavedBackup* set : vanished) {
        delete set;
    }
}

void BackupPass::DeleteOldBackups() {
    if (!Path.DeleteEnabled) {
        return;
    }
    // 64-bit arithmetic: the settings are any 32-bit numbers the registry holds.
    const int64_t count = SavedBackups.Count();
    int64_t del = 0;
    int64_t keep = kNoBound;

    // Delete rules: how many of the oldest sets are due.
    if (Path.DelAfterBackupsActive && del < count - Path.DelAfterBackups) {
        del = count - Path.DelAfterBackups;
    }
    if (Path.DelAfterDaysActive) {
        int64_t due = LeadingSetsBefore(SavedBackups, DaysBefore(State.RunTime, Path.DelAfterDays));
        if (del < due) {
            del = due;
        }
    }
    int64_t delBase = del;  // what the count and age rules alone demand
    if (Path.DelAfterMemoryActive) {
        int64_t due = SetsBeyondMemory(SavedBackups, Path.DelAfterMemory);
        if (del < due) {
            del = due;
        }
    }

    // Keep rules: how many of the oldest sets may go at most.
    if (Path.KeepDaysActive) {
        int64_t older = LeadingSetsBefore(SavedBackups, DaysBefore(State.RunTime, Path.KeepDays));
        if (older < keep) {
            keep = older;
        }
    }
    if (Path.KeepBackupsActive) {
        if (count - Path.KeepBackups < keep) {
            keep = count - Path.KeepBackups;
        }
    } else if (!BacksUpNothing(Path) && count - 1 < keep) {
        keep = count - 1;  // the newest set always survives
    }
    if (Path.KeepFullBackupsActive) {
        int64_t protectedFrom = OldestProtectedFullSet(SavedBackups, Path.KeepFullBackups);
        if (protectedFrom < keep) {
            keep = protectedFrom;
        }
    }
    if (keep < del) {
        del = keep;
    }
    if (keep < delBase) {
        delBase = keep;
    }

    // Disk space alone would leave only the newest set: the user decides. The progress dialog sees the
    // question and answers 0 (delete as configured) or a negative value (do not delete for space).
    PassPreview* preview = State.DryRun && !State.Previews.empty() ? &State.Previews.back() : nullptr;
    if (delBase < del && del == count - 1 && preview != nullptr) {
        preview->AsksBeforeDeleting = true;  // nobody is asked while the run only looks
    } else if (delBase < del && del == count - 1) {
        State.DeleteQuestion.store(1);
        while (State.DeleteQuestion.load() > 0) {
            WaitMilliseconds(kQuestionPollMilliseconds);
        }
        if (State.DeleteQuestion.load() < 0) {
            del = delBase;
            State.DeleteQuestion.store(0);
        }
    }

    if (del > 0) {
        State.Texts.SetStatus(LoadText(kTextDeletingOldBackups));
    }
    if (del > count) {
        del = count;  // rules of negative numbers ask for more sets than there are
    }
    if (del < 0) {
        del = 0;  // keep rules of large numbers protect more sets than there are
    }

    // Each of the del oldest sets is considered once, in order. A set that stays keeps its place; the
    // list is rebuilt once at the end, so that deleting many sets costs no more than listing them.
    std::vector<SavedBackup*> sets(SavedBackups.begin(), SavedBackups.end());
    const auto considered = static_cast<size_t>(del);
    // How many sets that stay are filed in each directory: those not considered, and those considered
    // that stayed. Only a damaged control file lists one date twice, but deleting the directory would
    // take a staying set with it.
    std::unordered_map<std::string, int32_t> stayingIn;
    for (size_t i = considered; i < sets.size(); ++i) {
        ++stayingIn[SetDirectory(Path, *sets[i])];
    }
    PArray<SavedBackup> kept;
    std::vector<SavedBackup*> deleted;
    for (size_t i = 0; i < considered; ++i) {
        State.Tick();
        SavedBackup* set = sets[i];
        const std::string dir = SetDirectory(Path, *set);
        bool stays = true;
        if (Path.DeleteOnlyArchived && GetFileAttribute(dir, kAttributeArchive)) {
            // not archived elsewhere yet: it stays until that has happened
        } else if (stayingIn.count(dir) != 0) {
            Trace("** %s geh\xF6rt auch zu einem bleibenden Backup\n", dir.c_str());
        } else if (preview != nullptr) {
            stays = false;  // a run that only looks tells it and deletes nothing
            deleted.push_back(set);
            preview->SetsToDelete.push_back(set->Date.Format(kDatePattern));
        } else if (!DeleteDatedDirectory(dir, &State.CopyErrorList)) {
            State.CopyErrorList.push_back(GetNow().Format(kTimeSecondPattern) + "  Error deleting " + dir);
            State.ErrorFlag = true;
        } else {
            stays = false;
            State.Tick();
            deleted.push_back(set);
            Trace("--- %s gel\xF6scht\n", dir.c_str());
        }
        if (stays) {
            ++stayingIn[dir];
            kept.Append(set);
        }
    }
    for (size_t i = considered; i < sets.size(); ++i) {
        kept.Append(sets[i]);
    }
    SavedBackups = std::move(kept);
    for (SavedBackup* set : deleted) {
        delete set;
    }
}

}  // namespace quillon
