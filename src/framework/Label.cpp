#include "framework/Label.h"

#include "framework/Form.h"

TLabel::TLabel(TComponent* owner, TForm* parent) : TGraphicControl(owner, parent) {
    FFont.OnChange = [this] {
        AdjustSize();
        Invalidate();
    };
}

void TLabel::SetCaption(const std::wstring& caption) {
    if (caption == FCaption) return;
    FCaption = caption;
    AdjustSize();
    Invalidate();
}

void TLabel::SetTransparent(bool transparent) {
    if (transparent == FTransparent) return;
    FTransparent = transparent;
    Invalidate();
}

void TLabel::SetAutoSize(bool autoSize) {
    FAutoSize = autoSize;
    AdjustSize();
}

void TLabel::AdjustSize() {
    if (!FAutoSize) return;
    SIZE size{};
    {
        ScopedWindowDc screen(nullptr);
        TCanvas canvas(screen.Get());
        canvas.Font().Assign(FFont);
        size = canvas.TextExtent(FCaption);
    }
    if (size.cx != Width() || size.cy != Height()) SetBounds(Left(), Top(), size.cx, size.cy);
}

void TLabel::Paint(TCanvas& canvas) {
    if (!FTransparent) {
        canvas.Brush().SetColor(Color());
        canvas.FillRect(RECT{0, 0, Width(), Height()});
    }
    canvas.Font().Assign(FFont);
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    canvas.TextOut(0, 0, FCaption);
}
