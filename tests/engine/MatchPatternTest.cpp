#include "engine/MatchPattern.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quillon {
namespace {

// The plain recursive definition: a star matches nothing, or one more character and is tried again.
bool ReferenceMatch(std::string_view pattern, std::string_view text) {
    if (pattern.empty()) {
        return text.empty();
    }
    if (pattern[0] == '*') {
        return ReferenceMatch(pattern.substr(1), text) ||
               (!text.empty() && ReferenceMatch(pattern, text.substr(1)));
    }
    return !text.empty() && pattern[0] == text[0] && ReferenceMatch(pattern.substr(1), text.substr(1));
}

TEST(MatchPatternTest, AgreesWithTheRecursiveDefinitionOnRandomInputs) {
    std::mt19937 random(20031124);
    const char alphabet[] = "AB*\\.";
    for (int round = 0; round < 20000; ++round) {
        std::string pattern, text;
        for (int i = random() % 7; i > 0; --i) {
            pattern += alphabet[random() % 5];
        }
        for (int i = random() % 9; i > 0; --i) {
            text += alphabet[random() % 2 + (random() % 4 == 0 ? 3 : 0)];
        }
        ASSERT_EQ(MatchPattern(pattern, text), ReferenceMatch(pattern, text))
            << "pattern " << pattern << " text " << text;
    }
}

// Many stars against a long near-miss text take exponential time when every star is retried at every
// position: this case would not finish in a lifetime then.
TEST(MatchPatternTest, ManyStarsDoNotExplode) {
    std::string pattern;
    for (int i = 0; i < 30; ++i) {
        pattern += "*A";
    }
    EXPECT_FALSE(MatchPattern(pattern + "*B", std::string(4000, 'A')));
}

}  // namespace
}  // namespace quillon
