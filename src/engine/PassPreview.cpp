#include "engine/PassPreview.h"

#include "support/NumberText.h"

namespace quillon {

std::vector<std::string> FormatPassPreview(const PassPreview& preview, bool verbose) {
    std::vector<std::string> lines{preview.SourcePath + " -> " + preview.DestPath};
    if (!preview.SourceProblem.empty()) {
        lines.push_back("  the source cannot be read: " + preview.SourceProblem);
        return lines;
    }
    const std::string files = preview.Files == 1 ? "1 file" : IntToText(preview.Files) + " files";
    const std::string size = " (" + std::to_string(preview.Bytes) + " bytes)";
    if (preview.Files == 0) {
        lines.push_back("  no changed file");
    } else if (preview.RecordOnly) {
        lines.push_back("  first run: " + files + size + " would be recorded, none copied");
    } else {
        lines.push_back("  " + files + size + " to copy, " +
                        (preview.FullBackup ? "full backup" : "incremental backup") + " into the " +
                        (preview.Compressed ? "compressed" : "plain") + " set " + preview.SetName +
                        (preview.NewPath ? " (first backup of the path)" : ""));
    }
    if (verbose && !preview.RecordOnly) {
        for (const std::string& name : preview.FileNames) {
            lines.push_back("    " + name);
        }
    }
    if (!preview.SetsToDelete.empty()) {
        std::string sets;
        for (const std::string& set : preview.SetsToDelete) {
            sets += (sets.empty() ? "" : ", ") + set;
        }
        lines.push_back("  old sets to delete: " + sets);
        if (preview.AsksBeforeDeleting) {
            lines.push_back(
                "  (only the newest set would remain: the run asks before it deletes for disk space)");
        }
    }
    return lines;
}

}  // namespace quillon
