#pragma once
// A canvas over a device context, with the font and brush it draws with.
#include <windows.h>

#include <functional>
#include <string>

#include "framework/Scoped.h"

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

class TFont {
public:
    TFont();
    const std::wstring& Name() const { return FName; }
    void SetName(const std::wstring& name);
    // Character height in pixels (the cell height less the internal leading).
    int Height() const { return FHeight; }
    void SetHeight(int height);
    COLORREF Color() const { return FColor; }
    void SetColor(COLORREF color);
    unsigned Style() const { return FStyle; }
    void SetStyle(unsigned style);
    BYTE Charset() const { return FCharset; }
    void SetCharset(BYTE charset);
    void Assign(const TFont& other);

    LOGFONTW LogFont() const;
    HFONT Handle() const;
    std::function<void()> OnChange;

private:
    void Changed();

    std::wstring FName = L"Tahoma";
    int FHeight = 11;
    COLORREF FColor = RGB(0, 0, 0);
    unsigned FStyle = 0;
    BYTE FCharset = DEFAULT_CHARSET;
    mutable ScopedFont FHandle;
    // The handle before the last change: a canvas may still have it selected, and a selected
    // font cannot be deleted. It goes at the next change, when a newer one has replaced it.
    ScopedFont FRetired;
};

enum class TBrushStyle { bsSolid, bsClear };

class TBrush {
public:
    COLORREF Color() const { return FColor; }
    void SetColor(COLORREF color);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle style) { FStyle = style; }
    HBRUSH Handle() const;

private:
    COLORREF FColor = RGB(255, 255, 255);
    TBrushStyle FStyle = TBrushStyle::bsSolid;
    mutable ScopedBrush FHandle;
};

class TCanvas {
public:
    explicit TCanvas(HDC dc) : FDc(dc) {}
    // Puts the DC's own font back, so the canvas font can be deleted.
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    HDC Handle() const { return FDc; }
    TFont& Font() { return FFont; }
    TBrush& Brush() { return FBrush; }

    void FillRect(const RECT& r);
    // Text in the canvas font; a clear brush leaves the background as it is.
    void TextOut(int x, int y, const std::wstring& text);
    SIZE TextExtent(const std::wstring& text);
    int TextWidth(const std::wstring& text) { return TextExtent(text).cx; }
    int TextHeight(const std::wstring& text) { return TextExtent(text).cy; }

private:
    void SelectFont();

    HDC FDc;
    HGDIOBJ FOriginalFont = nullptr;
    TFont FFont;
    TBrush FBrush;
};
