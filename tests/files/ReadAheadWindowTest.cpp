// The window of files announced ahead of a copy: what is announced when, and how much of each.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "files/ReadAheadWindow.h"

namespace quillon {
namespace {

using Announced = std::vector<std::pair<std::string, int64_t>>;

struct Step {
    size_t Reached;
    Announced Expected;
};

void RunSteps(ReadAheadWindow& window, Announced& announced, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        SCOPED_TRACE("reached " + std::to_string(step.Reached));
        announced.clear();
        window.Reached(step.Reached);
        EXPECT_EQ(announced, step.Expected);
    }
}

TEST(ReadAheadWindowTest, AnnouncesTheFilesAheadWithinBytesAndCount) {
    Announced announced;
    auto record = [&](size_t index, int64_t length) {
        announced.emplace_back(std::string(1, static_cast<char>('a' + index)), length);
    };
    {
        SCOPED_TRACE(
            "at most three files ahead; a file counts with at most 4 bytes; empty files are skipped");
        ReadAheadWindow window(10, 4, 3, record);
        for (int64_t length : {5, 2, 0, 3, 9, 1, 1}) {
            window.Add(length);
        }
        RunSteps(window, announced,
                 {{0, {{"b", 2}, {"d", 3}}},  // "a" is the copy's own; "e" is the fourth file ahead
                  {1, {{"e", 4}}},
                  {1, {}},          // nothing twice
                  {5, {{"g", 1}}},  // "f" passed over is read by its copy, not announced
                  {6, {}},
                  {9, {}}});
    }
    {
        SCOPED_TRACE("a full window waits for the copy to reach what it holds");
        ReadAheadWindow window(10, 100, 50, record);
        for (int64_t length : {1, 6, 6, 6, 6}) {
            window.Add(length);
        }
        RunSteps(window, announced, {{0, {{"b", 6}, {"c", 6}}}, {1, {{"d", 6}}}, {2, {{"e", 6}}}, {4, {}}});
    }
}

}  // namespace
}  // namespace quillon
