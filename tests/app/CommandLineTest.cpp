#include "app/CommandLine.h"
#include "app/LongOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace quillon {
namespace {

// The program joins its arguments into one text and the application takes the words off it again: every
// list of arguments without an empty one comes back whole; an empty word ends the switches.
TEST(CommandLineTest, ArgumentsJoinedIntoALineComeBackAsTheSameWords) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"C:\\My Dir", "/W"}, "\"C:\\My Dir\" /W"},
        {{"a\tb", "/3"}, "\"a\tb\" /3"},
        {{"/a\"b\"", "c"}, "/a\"b\" c"},
        {{"/W", "", "/T"}, "/W \"\" /T"},
        {{}, ""},
    };
    auto words = [](std::string text) {  // up to the first empty one
        std::vector<std::string> found;
        for (std::string word = NextCommandLineWord(text); !word.empty(); word = NextCommandLineWord(text)) {
            found.push_back(word);
        }
        return found;
    };
    for (const auto& [arguments, line] : cases) {
        EXPECT_EQ(CommandLineFromArguments(arguments), line) << line;
        auto switchesEnd = std::find(arguments.begin(), arguments.end(), "");
        EXPECT_EQ(words(line), std::vector<std::string>(arguments.begin(), switchesEnd)) << line;
    }
    // Line ends, blanks and tabs around words; an unclosed quote runs to the end.
    EXPECT_EQ(words("\r\n  \t/W\t\"unclosed word"), (std::vector<std::string>{"/W", "unclosed word"}));
}

// Long options are taken out; every other word stays in its place for the switches and the desktop.
TEST(CommandLineTest, LongOptionsAreSortedFromTheSwitches) {
    using Words = std::vector<std::string>;
    // The words, the flags then set (h v b c d: help, version, verbose, check, dry-run), the first unknown
    // option and the words left.
    const std::tuple<Words, const char*, const char*, Words> cases[] = {
        {{"/W", "--verbose", "/3"}, "b", "", {"/W", "/3"}},
        {{"--dry-run", "--check", "--help", "--version"}, "hvcd", "", {}},
        {{"/W", "", "--help"}, "h", "", {"/W", ""}},  // the empty word stays for the switches
        {{"--Help", "--he", "--help=x", "-h"}, "", "--Help", {"-h"}},  // exact names only; the first unknown
        {{"--platform", "xcb", "/T"}, "", "", {"--platform", "xcb", "/T"}},
        {{"/T", "--", "--help", "/W"}, "", "", {"/T", "--help", "/W"}},
    };
    for (const auto& [arguments, flags, unknown, rest] : cases) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        LongOptions options = ParseLongOptions(arguments);
        EXPECT_EQ(std::string(options.Help ? "h" : "") + (options.Version ? "v" : "") +
                      (options.Verbose ? "b" : "") + (options.Check ? "c" : "") + (options.DryRun ? "d" : ""),
                  flags);
        EXPECT_EQ(options.Unknown, unknown);
        EXPECT_EQ(options.Rest, rest);
    }
}

}  // namespace
}  // namespace quillon
