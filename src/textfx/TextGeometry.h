#pragma once
// The arithmetic of measuring a text: from the extent of its rendering at s times the size to
// the box it covers, widened for italics and turned for rotated fonts.

struct TTextBox {
    int Width = 0;
    int Height = 0;
    // Where the text's reference point lies inside the box: (0, 0) unless rotated.
    int StartX = 0;
    int StartY = 0;
};

// ceil(value / scale) for non-negative values.
int CeilDiv(int value, int scale);
// The extra width of an italic text of `width` pixels and `bytes` bytes in the system code page:
// the slant of the last glyph, which the platform's measurement leaves out.
int ItalicWidening(int width, int bytes);
// The box of a width x height text turned by `escapement` tenths of a degree counter-clockwise,
// with the start point of the turned text inside it.
TTextBox RotatedTextBox(int width, int height, int escapement);
