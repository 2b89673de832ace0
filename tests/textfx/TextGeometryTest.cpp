// Measuring arithmetic: rounding up, italic widening and the turned box of a rotated text.
#include <gtest/gtest.h>

#include "textfx/TextGeometry.h"

TEST(TextGeometry, CeilDivAndItalicWidening) {
    EXPECT_EQ(CeilDiv(111, 3), 37);
    EXPECT_EQ(CeilDiv(112, 3), 38);
    EXPECT_EQ(CeilDiv(0, 4), 0);
    EXPECT_EQ(ItalicWidening(100, 6), 5); // 5.0
    EXPECT_EQ(ItalicWidening(5, 1), 2);   // 1.5 to even
    EXPECT_EQ(ItalicWidening(25, 1), 8);  // 7.5 to even
    EXPECT_EQ(ItalicWidening(15, 1), 4);  // 4.5 to even, not away from zero
    EXPECT_EQ(ItalicWidening(10, 0), 0);
}

TEST(TextGeometry, RotatedBoxAndStartPoint) {
    // A quarter turn: the box stands up and the text starts at its bottom-left corner.
    TTextBox box = RotatedTextBox(100, 40, 900);
    EXPECT_EQ(box.Width, 40);
    EXPECT_EQ(box.Height, 100);
    EXPECT_EQ(box.StartX, 0);
    EXPECT_EQ(box.StartY, 100);

    // 45 degrees: corners (-49, 21) and (21, -49) around the centre.
    box = RotatedTextBox(100, 40, 450);
    EXPECT_EQ(box.Width, 98);
    EXPECT_EQ(box.Height, 98);
    EXPECT_EQ(box.StartX, 0);
    EXPECT_EQ(box.StartY, 70);

    // Upside down the text starts at the bottom-right and runs to the left.
    box = RotatedTextBox(100, 40, 1800);
    EXPECT_EQ(box.Width, 100);
    EXPECT_EQ(box.Height, 40);
    EXPECT_EQ(box.StartX, 100);
    EXPECT_EQ(box.StartY, 40);

    // A clockwise quarter turn starts at the top-right.
    box = RotatedTextBox(100, 40, -900);
    EXPECT_EQ(box.StartX, 40);
    EXPECT_EQ(box.StartY, 0);
}
