#pragma once
// A windowless label whose caption is drawn with the text engine's effects, over a background
// of its own or, transparent, over whatever its parent painted beneath it.
#include <memory>

#include "framework/JpegPicture.h"
#include "textfx/DibBitmap.h"
#include "widgets/AAGraphicControl.h"

enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
// The same order as the engine's texture modes, whose placements it shares.
enum TBackGroundMode { bmTiled, bmStretched, bmCenter, bmNormal };

class TAALabel;

// A settings group of the label.
class TCustomParam : public TNotifyClass {
public:
    using TNotifyClass::TNotifyClass;
};

class TAALabelEffect : public TCustomParam {
public:
    TAALabelEffect(TAALabel& label, TChangeEvent onChange);

    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value) { Update(FTransparent, value); }
    TTextLayout Layout() const { return FLayout; }
    void SetLayout(TTextLayout value) { Update(FLayout, value); }
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value) { Update(FAlignment, value); }
    // The engine's mask quality; the mask does not notify, so this does.
    TAAQuality Quality() const;
    void SetQuality(TAAQuality value);
    // The engine's own effect, not a copy.
    TAAEffect& FontEffect();
    // The label's own colour.
    COLORREF BackColor() const;
    void SetBackColor(COLORREF value);
    // Empty means a plain colour background.
    const std::shared_ptr<TJpegPicture>& BackGround() const { return FBackGround; }
    void SetBackGround(std::shared_ptr<TJpegPicture> value);
    TBackGroundMode BackGroundMode() const { return FBackGroundMode; }
    void SetBackGroundMode(TBackGroundMode value) { Update(FBackGroundMode, value); }

    void Assign(const TNotifyClass& source) override;

private:
    TAALabel& FLabel;
    bool FTransparent = false;
    TTextLayout FLayout = tlTop;
    TAlignment FAlignment = taLeftJustify;
    std::shared_ptr<TJpegPicture> FBackGround;
    TBackGroundMode FBackGroundMode = bmCenter;
};

// Where the caption goes and how large an auto-sized label becomes.
struct TLabelLayout {
    int X, Y, Width, Height;
    bool operator==(const TLabelLayout&) const = default;
};
// text is the caption's extent; width and height the label's client size.
TLabelLayout LayoutLabel(SIZE text, int width, int height, bool autoSize, TAlign align, int border,
                         TAlignment alignment, TTextLayout layout);

class TAALabel : public TAAGraphicControl {
public:
    TAALabel(TComponent* owner, TForm* parent);
    ~TAALabel() override;

    // Margin in pixels around the text; never negative.
    int Border() const { return FBorder; }
    void SetBorder(int border);
    TAALabelEffect& Effect() { return FEffect; }

protected:
    void PaintCanvas(TCanvas& canvas) override;
    void Reset() override;

private:
    friend class TAALabelEffect;
    // Measures the caption in the label's font on canvas, which the engine is bound to.
    TLabelLayout Layout(TCanvas& canvas);
    void RenderBuffer(const TLabelLayout& layout);

    TDibBitmap FBuffer;
    TAALabelEffect FEffect;
    int FBorder = 0;
};
