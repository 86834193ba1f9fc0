#include "ui/MessageBoxLayout.h"

#include <gtest/gtest.h>

namespace quillon::testing {
namespace {

TEST(MessageBoxLayoutTest, SizesFromTextButtonsAndCheckBox) {
    struct Case {
        std::string text;
        bool largeFonts;
        int buttons;
        bool checkBox;
        int width, height;
    };
    const Case cases[] = {
        {"x", false, 1, false, 210, 140},
        {"x", false, 2, false, 260, 140},
        {"x", false, 3, false, 330, 140},
        {"x", false, 1, true, 340, 170},
        {"x", true, 1, true, 400, 178},          // 13 * 1.227 rounds to 16: 26 + 7, 107, 38
        {"a\nb\nc", false, 1, false, 210, 163},  // three lines: 39 + 10 + 7 + 107
        {std::string(40, 'W'), false, 1, false, 510, 140},
    };
    for (const Case& c : cases) {
        BoxLayout layout = LayoutBox(c.text, c.largeFonts, c.buttons, c.checkBox);
        EXPECT_EQ(layout.WindowWidth, c.width) << c.text << " " << c.buttons << " " << c.checkBox;
        EXPECT_EQ(layout.WindowHeight, c.height) << c.text << " " << c.buttons << " " << c.checkBox;
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
