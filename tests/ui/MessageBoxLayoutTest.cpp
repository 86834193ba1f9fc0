#include "ui/MessageBoxLayout.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace quillon::testing {
namespace {

TEST(MessageBoxLayoutTest, SizesFromTextButtonsAndCheckBox) {
    const std::tuple<std::string, bool, int, bool, const char*> cases[] = {
        // large fonts, buttons, check box
        {"x", false, 1, false, "210x140"},
        {"x", false, 2, false, "260x140"},
        {"x", false, 3, false, "330x140"},
        {"x", false, 1, true, "340x170"},
        {"x", true, 1, true, "400x178"},          // 13 * 1.227 rounds to 16: 26 + 7, 107, 38
        {"a\nb\nc", false, 1, false, "210x163"},  // three lines: 39 + 10 + 7 + 107
        {std::string(40, 'W'), false, 1, false, "510x140"},
    };
    for (const auto& [text, largeFonts, buttons, checkBox, size] : cases) {
        BoxLayout layout = LayoutBox(text, largeFonts, buttons, checkBox);
        EXPECT_EQ(std::to_string(layout.WindowWidth) + "x" + std::to_string(layout.WindowHeight), size)
            << text << " " << largeFonts << buttons << checkBox;
    }
    EXPECT_EQ(NormaliseLineBreaks("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
}

TEST(MessageBoxLayoutTest, FocusAnswersAndLetters) {
    BoxKind okOnly = BoxKindFromStyle(kMbOk | kMbDefButton2);
    EXPECT_EQ(okOnly.FocusedButton, 1);  // no second button to be the default
    EXPECT_EQ(okOnly.IconKind, 0x30);
    EXPECT_EQ(AcceleratorButton(okOnly, 'c'), -1);
    EXPECT_EQ(AcceleratorButton(okOnly, 'H'), 0);
    BoxKind question = BoxKindFromStyle(0x4124);
    EXPECT_EQ(question.FocusedButton, 3);
    EXPECT_EQ(BoxAnswer(question, 1), kIdNo);  // Help
    EXPECT_EQ(BoxAnswer(question, 2), kIdYes);
    EXPECT_EQ(AcceleratorButton(question, 'y'), 2);
    EXPECT_EQ(AcceleratorButton(question, 'O'), 0);
    EXPECT_EQ(ButtonLeft(340, 3, 75, 0), 12 + (328 - 255) / 2);  // a row of 3.4 buttons
    EXPECT_EQ(ButtonLeft(340, 3, 75, 2), 48 + 2 * 90);
}

}  // namespace
}  // namespace quillon::testing
