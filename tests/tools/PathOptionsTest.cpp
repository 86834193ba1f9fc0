#include "config/PathOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "config/SourcePathRecord.h"

namespace quillon {
namespace {

// Plans the changes of options over the stored values and answers what is written in one text: Flags and
// DeleteFlags in hex, then every other entry as "name=value" (numbers in hex). The record the run made of
// the stored values reads Exclude000 and Force000.
std::string Planned(const std::vector<RegistryValue>& stored, const std::vector<std::string>& options) {
    auto has = [&](const char* name) {
        return std::ranges::any_of(stored, [&](const RegistryValue& value) { return value.name == name; });
    };
    SourcePathRecord current;
    for (auto [name, list] :
         {std::pair{"Exclude000", &current.ExcludeList}, {"Force000", &current.ForceList}}) {
        if (has(name)) {
            list->Append(new PatternEntry);
        }
    }
    PathOptions parsed;
    std::string error;
    EXPECT_TRUE(ParsePathOptions(options, 0, parsed, error)) << error;
    std::string text;
    for (const EntryChange& change : PlanPathChanges(stored, current, parsed)) {
        std::optional<uint32_t> number = change.after ? DwordOf(*change.after) : std::nullopt;
        char hex[16];
        std::snprintf(hex, sizeof hex, "%x", number.value_or(0));
        bool bits = change.name == "Flags" || change.name == "DeleteFlags";
        text += (text.empty() ? "" : " ") + (bits ? "" : change.name + "=") +
                (number ? hex : DescribeValue(change.after));
    }
    return text;
}

// The bits of a setting the user did not name keep the value in force now: a missing Flags means the
// run's defaults, bits the run does not know stay, a Flags the run ignores (text, -1) counts as missing.
// Patterns are appended after those the run reads, or replace all stored ones, in the form the scan
// matches.
TEST(PathOptionsTest, EntriesAreWrittenWholeKeepingWhatIsInForce) {
    const RegistryValue text{"Flags", kRegSz, std::string("0x20\0", 5)};
    const RegistryValue rule = DwordValue("DelAfterDays", 30);
    const std::vector<RegistryValue> patterns = {TextValue("Exclude000", "*.tmp"),
                                                 TextValue("Exclude002", "*.unread"),
                                                 TextValue("Force000", "*.doc")};
    // What, the values stored, the options (split at blanks), what is written.
    const std::tuple<const char*, std::vector<RegistryValue>, std::string, std::string> cases[] = {
        {"unknown bits kept", {DwordValue("Flags", 0x18A6)}, "--no-subfolders", "1aa6 0"},
        {"Flags as text is the default", {text}, "--off", "866 0"},
        {"Flags -1 is the default", {DwordValue("Flags", 0xFFFFFFFF)}, "", "826 0"},
        {"inverted bits", {DwordValue("Flags", 0)}, "--off --no-subfolders --record-only-first", "640 0"},
        {"and back", {DwordValue("Flags", 0x640)}, "--on --subfolders --copy-first", "0 0"},
        {"full backups by days", {}, "--full-every 7d --full-even-if-unchanged", "9a6 0 FullBackupSepTage=7"},
        {"days in capitals", {DwordValue("Flags", 0x826)}, "--full-every=7D", "8a6 0 FullBackupSepTage=7"},
        {"back to runs", {DwordValue("Flags", 0x8A6)}, "--full-every 5", "826 0 FullBackupSep=5"},
        {"no full backups", {DwordValue("Flags", 0x1A6)}, "--no-full", "186 0"},
        {"copies as they are", {}, "--no-write-protect --keep-archive-bit", "820 0"},
        {"a rule off stays off", {rule, DwordValue("DeleteFlags", 0)}, "--keep 5", "826 10 KeepBackups=5"},
        {"deleting on", {}, "--delete-after 9 --delete-after 30d", "826 7 DelAfterBackups=9 DelAfterDays=1e"},
        {"disk space", {}, "--delete-after=500MB --only-archived", "826 89 DelAfterMemory=1f4"},
        {"no delete keeps the rules", {DwordValue("DeleteFlags", 0x57)}, "--no-delete", "826 56"},
        {"keep rules", {}, "--keep-days 0 --keep-full 2", "826 60 KeepDays=0 KeepFullBackups=2"},
        {"patterns appended", patterns, "--exclude a/* --force */b",
         "826 0 Exclude001=\"a\\*\" Force001=\"*\\b\""},
        {"patterns replaced", patterns, "--exclude a/* --clear-patterns",
         "826 0 Exclude000=\"a\\*\" Exclude002=absent Force000=absent"},
    };
    for (const auto& [what, stored, line, written] : cases) {
        std::vector<std::string> options;
        std::istringstream words(line);
        for (std::string word; words >> word;) {
            options.push_back(word);
        }
        EXPECT_EQ(Planned(stored, options), written) << what;
    }
    EXPECT_EQ(Planned({}, {"--exclude", " cache/* "}), "826 0 Exclude000=\"cache\\*\"")
        << "blanks around a pattern";
}

TEST(PathOptionsTest, WrongOptionsAreRefusedWithTheReason) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
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
    for (const auto& [words, expected] : cases) {
        PathOptions options;
        std::string error;
        EXPECT_FALSE(ParsePathOptions(words, 0, options, error)) << words[0];
        EXPECT_EQ(error, expected);
    }
}

}  // namespace
}  // namespace quillon
