#include "config/PathOptions.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "config/SourcePathRecord.h"

namespace quillon {
namespace {

// Plans the changes of options over the stored values and answers the Flags and DeleteFlags written. A
// stored DelAfterDays is a rule in force, as the run reads it (without DeleteFlags, a stored rule is on).
std::pair<uint32_t, uint32_t> Written(const std::vector<RegistryValue>& values,
                                      const std::vector<std::string>& options) {
    SourcePathRecord current;
    current.DelAfterDaysActive = current.DeleteEnabled =
        std::ranges::any_of(values, [](const RegistryValue& value) { return value.name == "DelAfterDays"; });
    PathOptions parsed;
    std::string error;
    EXPECT_TRUE(ParsePathOptions(options, 0, parsed, error)) << error;
    std::pair<uint32_t, uint32_t> written{0xDEAD, 0xDEAD};
    for (const EntryChange& change : PlanPathChanges(values, current, parsed)) {
        EXPECT_TRUE(change.after && change.after->type == kRegDword)
            << change.name << " is written as a dword";
        if (change.name == "Flags") {
            written.first = *DwordOf(*change.after);
        } else if (change.name == "DeleteFlags") {
            written.second = *DwordOf(*change.after);
        }
    }
    return written;
}

// The bits of a setting the user did not name keep the value in force now: a missing Flags means the
// run's defaults, bits the run does not know stay, a Flags the run ignores (text, -1) counts as missing.
TEST(PathOptionsTest, BitFieldsAreWrittenWholeKeepingWhatIsInForce) {
    const RegistryValue text{"Flags", kRegSz, std::string("0x20\0", 5)};
    const struct {
        const char* what;
        std::vector<RegistryValue> stored;
        std::vector<std::string> options;
        uint32_t flags;
        uint32_t deleteFlags;
    } cases[] = {
        {"nothing stored, plain", {}, {"--plain"}, 0x026, 0x00},
        {"unknown bits kept", {DwordValue("Flags", 0x18A6)}, {"--no-subfolders"}, 0x1AA6, 0x00},
        {"Flags as text is the default", {text}, {"--off"}, 0x866, 0x00},
        {"Flags -1 is the default", {DwordValue("Flags", 0xFFFFFFFF)}, {}, 0x826, 0x00},
        {"every inverted bit",
         {DwordValue("Flags", 0x0)},
         {"--off", "--no-subfolders", "--record-only-first"},
         0x640,
         0x00},
        {"and back", {DwordValue("Flags", 0x640)}, {"--on", "--subfolders", "--copy-first"}, 0x000, 0x00},
        {"full backups by days", {}, {"--full-every", "7d", "--full-even-if-unchanged"}, 0x9A6, 0x00},
        {"days in capitals", {DwordValue("Flags", 0x826)}, {"--full-every=7D"}, 0x8A6, 0x00},
        {"back to runs", {DwordValue("Flags", 0x8A6)}, {"--full-every", "5"}, 0x826, 0x00},
        {"no full backups", {DwordValue("Flags", 0x1A6)}, {"--no-full"}, 0x186, 0x00},
        {"copies as they are", {}, {"--no-write-protect", "--keep-archive-bit"}, 0x820, 0x00},
        {"a present rule stays in force", {DwordValue("DelAfterDays", 30)}, {"--keep", "5"}, 0x826, 0x15},
        {"a rule switched off by DeleteFlags stays off",
         {DwordValue("DelAfterDays", 30), DwordValue("DeleteFlags", 0)},
         {"--keep", "5"},
         0x826,
         0x10},
        {"delete rules switch deleting on",
         {},
         {"--delete-after", "10", "--delete-after", "30d"},
         0x826,
         0x07},
        {"disk space", {}, {"--delete-after=500MB", "--only-archived"}, 0x826, 0x89},
        {"no delete keeps the rules", {DwordValue("DeleteFlags", 0x57)}, {"--no-delete"}, 0x826, 0x56},
        {"keep rules", {}, {"--keep-days", "0", "--keep-full", "2"}, 0x826, 0x60},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        auto [flags, deleteFlags] = Written(each.stored, each.options);
        EXPECT_EQ(flags, each.flags) << std::hex << flags;
        EXPECT_EQ(deleteFlags, each.deleteFlags) << std::hex << deleteFlags;
    }
}

TEST(PathOptionsTest, WrongOptionsAreRefusedWithTheReason) {
    const struct {
        std::vector<std::string> options;
        const char* error;
    } cases[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--keep"}, "--keep needs a value"},
        {{"--keep", "ten"}, "--keep: \"ten\" is not a number"},
        {{"--keep", "-1"}, "--keep: \"-1\" is not a number"},
        {{"--full-every", "0"}, "--full-every: 0 is out of range (1 to 1000000)"},
        {{"--delete-after", "5GB"}, "--delete-after: \"5GB\" is not a number"},
        {{"--plain", "--compressed"}, "--plain and --compressed contradict each other"},
        {{"--full-every", "3", "--no-full"}, "--full-every and --no-full contradict each other"},
        {{"--no-delete", "--delete-after", "3d"}, "--no-delete and --delete-after contradict each other"},
        {{"--plain=yes"}, "--plain takes no value"},
        {{"--exclude", "  "}, "--exclude needs a pattern that is not empty"},
    };
    for (const auto& each : cases) {
        PathOptions options;
        std::string error;
        EXPECT_FALSE(ParsePathOptions(each.options, 0, options, error)) << each.options[0];
        EXPECT_EQ(error, each.error);
    }
}

TEST(PathOptionsTest, PatternsAreAppendedOrReplaceAllInTheFormTheScanMatches) {
    SourcePathRecord current;
    current.ExcludeList.Append(new PatternEntry);  // the run reads Exclude000 and Force000
    current.ForceList.Append(new PatternEntry);
    std::vector<RegistryValue> stored = {TextValue("Exclude000", "*.tmp"),
                                         TextValue("Exclude002", "*.unread"), TextValue("Force000", "*.doc")};
    PathOptions options;
    std::string error;
    ASSERT_TRUE(ParsePathOptions({"--exclude", " cache/* ", "--force", "*/keep.tmp"}, 0, options, error))
        << error;
    // The pattern entries planned, as "name before -> after".
    auto planned = [&] {
        std::vector<std::string> seen;
        for (const EntryChange& change : PlanPathChanges(stored, current, options)) {
            if (change.name != "Flags" && change.name != "DeleteFlags") {
                seen.push_back(change.name + " " + DescribeValue(change.before) + " -> " +
                               DescribeValue(change.after));
            }
        }
        return seen;
    };
    EXPECT_EQ(planned(), (std::vector<std::string>{"Exclude001 absent -> \"cache\\*\"",
                                                   "Force001 absent -> \"*\\keep.tmp\""}));
    options.ClearPatterns = true;
    EXPECT_EQ(planned(), (std::vector<std::string>{"Exclude000 \"*.tmp\" -> \"cache\\*\"",
                                                   "Exclude002 \"*.unread\" -> absent",
                                                   "Force000 \"*.doc\" -> \"*\\keep.tmp\""}));
}

}  // namespace
}  // namespace quillon
