// ConfigDescription: the configuration in words, exactly as a run reads it, and every problem that
// would keep a run from doing what the user meant: a source folder that does not exist, a destination
// whose parent does not exist, a value stored with the wrong type (which the run ignores without a
// word), an entry name the run does not know, a gap in the numbering of the path sections (which ends
// the list there), no path at all, a hive that cannot be read.
//
// One description serves the configuration check of quillon-run and every listing of quillon-config,
// so that both say the same thing in the same words. Paths are shown in their native form.
//
// Reads the profile through the same loading as a run (LoadPathConfig) and the stored values behind
// it; it looks at the file system only to see whether folders exist. Any thread; writes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

class CAppProfile;
class SourcePathRecord;

// One line of a path's description: "Storage: compressed into zip archives", and the registry entries
// it comes from ("Flags = 0x00000826, bit 0x800 set").
struct DescribedLine {
    std::string label;
    std::string text;
    std::string entries;
};

// One path section as the run reads it.
struct PathDescription {
    int32_t index = 0;    // the section's number: Path000 is 0
    std::string section;  // "Path000"
    std::string source;   // native form where the drive map has one, else as configured
    std::string dest;
    std::vector<DescribedLine> lines;
    std::vector<std::string> problems;
};

struct ConfigDescription {
    std::string profileKey;              // "Software\Norrow\Quillon"
    std::string hiveFile;                // the user hive's file
    std::vector<PathDescription> paths;  // the paths a run reads, in order
    std::vector<std::string> problems;   // problems of the configuration as a whole

    // Every problem: those of the whole and those of each path.
    size_t ProblemCount() const;
};

// "the user hive FILE cannot be read: it is damaged or not a hive" for an error of ProfileReadError.
std::string DescribeUnreadableHive(int32_t error);

// Describes the profile's configuration as the next run will read it.
ConfigDescription DescribeConfiguration(const CAppProfile& profile);

// Describes one loaded record; the stored values of its section supply the entries and the type and
// name problems. Used by DescribeConfiguration for each record.
PathDescription DescribePath(const CAppProfile& profile, const SourcePathRecord& record);

// "Path 1 (Path000)" and the lines of the path, one a line, then its problems; with withEntries each
// line is followed by the registry entries behind it.
std::string FormatPathDescription(const PathDescription& path, bool withEntries);

// The whole report: the profile, every path, the problems of the whole, and a last line that says
// how many problems there are ("No problem found." when none).
std::string FormatConfigDescription(const ConfigDescription& description);

// The known entry name of a path section that is nearest to name (letter case ignored), or "" when
// none is near enough to be a misspelling of it: "DestPth" gives "DestPath", "Exclude1" "Exclude001".
std::string NearestPathEntryName(const std::string& name);

// Whether a pattern (an exclude or force pattern of a path) can match any file below the source, as
// the scan matches it: against the whole Windows-form path, upper-cased, '*' the only wildcard.
bool PatternCanMatchBelow(const std::string& pattern, const std::string& sourcePath);

// Words that say how to write a pattern that cannot match: "*\cache\*" for "cache/*".
std::string PatternHint(const std::string& pattern);

}  // namespace quillon
