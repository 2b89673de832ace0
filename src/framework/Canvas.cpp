#include "framework/Canvas.h"

#include <cwchar>

TFont::TFont() = default;

void TFont::Changed() {
    if (FHandle) FRetired = std::move(FHandle);
    if (OnChange) OnChange();
}

void TFont::SetName(const std::wstring& name) {
    if (name == FName) return;
    FName = name;
    Changed();
}

void TFont::SetHeight(int height) {
    if (height == FHeight) return;
    FHeight = height;
    Changed();
}

void TFont::SetColor(COLORREF color) {
    if (color == FColor) return;
    FColor = color;
    // The colour is not part of the GDI font.
    if (OnChange) OnChange();
}

void TFont::SetStyle(unsigned style) {
    if (style == FStyle) return;
    FStyle = style;
    Changed();
}

void TFont::SetCharset(BYTE charset) {
    if (charset == FCharset) return;
    FCharset = charset;
    Changed();
}

void TFont::Assign(const TFont& other) {
    if (&other == this) return;
    FName = other.FName;
    FHeight = other.FHeight;
    FColor = other.FColor;
    FStyle = other.FStyle;
    FCharset = other.FCharset;
    Changed();
}

LOGFONTW TFont::LogFont() const {
    LOGFONTW lf{};
    lf.lfHeight = -FHeight;
    lf.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (FStyle & fsItalic) ? 1 : 0;
    lf.lfUnderline = (FStyle & fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = (FStyle & fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = FCharset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    wcsncpy(lf.lfFaceName, FName.c_str(), LF_FACESIZE - 1);
    return lf;
}

HFONT TFont::Handle() const {
    if (!FHandle) {
        LOGFONTW lf = LogFont();
        FHandle.Reset(CreateFontIndirectW(&lf));
    }
    return FHandle.Get();
}

void TBrush::SetColor(COLORREF color) {
    if (color == FColor) return;
    FColor = color;
    FHandle.Reset();
}

HBRUSH TBrush::Handle() const {
    if (FStyle == TBrushStyle::bsClear) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    if (!FHandle) FHandle.Reset(CreateSolidBrush(FColor));
    return FHandle.Get();
}

void TCanvas::FillRect(const RECT& r) {
    if (FBrush.Style() == TBrushStyle::bsClear) return;
    ::FillRect(FDc, &r, FBrush.Handle());
}

TCanvas::~TCanvas() {
    if (FOriginalFont) SelectObject(FDc, FOriginalFont);
}

void TCanvas::SelectFont() {
    HGDIOBJ old = SelectObject(FDc, FFont.Handle());
    if (!FOriginalFont) FOriginalFont = old;
    SetTextColor(FDc, FFont.Color());
}

void TCanvas::TextOut(int x, int y, const std::wstring& text) {
    SelectFont();
    if (FBrush.Style() == TBrushStyle::bsClear) {
        SetBkMode(FDc, TRANSPARENT);
    } else {
        SetBkMode(FDc, OPAQUE);
        SetBkColor(FDc, FBrush.Color());
    }
    ::TextOutW(FDc, x, y, text.c_str(), static_cast<int>(text.size()));
}

SIZE TCanvas::TextExtent(const std::wstring& text) {
    SelectFont();
    SIZE size{};
    GetTextExtentPoint32W(FDc, text.c_str(), static_cast<int>(text.size()), &size);
    return size;
}
