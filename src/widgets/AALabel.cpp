#include "widgets/AALabel.h"

#include <algorithm>
#include <utility>

#include "textfx/PixelKernels.h"

TAALabelEffect::TAALabelEffect(TAALabel& label, TChangeEvent onChange)
    : TCustomParam(std::move(onChange), &label), FLabel(label) {}

TAAQuality TAALabelEffect::Quality() const {
    return FLabel.Engine().Mask().Quality();
}

void TAALabelEffect::SetQuality(TAAQuality value) {
    if (value == Quality()) return;
    FLabel.Engine().Mask().SetQuality(value);
    Changed();
}

TAAEffect& TAALabelEffect::FontEffect() {
    return FLabel.Engine().Effect();
}

COLORREF TAALabelEffect::BackColor() const {
    return FLabel.Color();
}

void TAALabelEffect::SetBackColor(COLORREF value) {
    FLabel.SetColor(value);
}

void TAALabelEffect::SetBackGround(std::shared_ptr<TJpegPicture> value) {
    if (value == FBackGround) return;
    FBackGround = std::move(value);
    Changed();
}

void TAALabelEffect::Assign(const TNotifyClass& source) {
    auto* other = dynamic_cast<const TAALabelEffect*>(&source);
    if (!other) return TNotifyClass::Assign(source);
    SetTransparent(other->FTransparent);
    SetLayout(other->FLayout);
    SetAlignment(other->FAlignment);
    SetQuality(other->Quality());
    FontEffect().Assign(other->FLabel.Engine().Effect());
    SetBackColor(other->BackColor());
    SetBackGround(other->FBackGround);
    SetBackGroundMode(other->FBackGroundMode);
}

TLabelLayout LayoutLabel(SIZE text, int width, int height, bool autoSize, TAlign align, int border,
                         TAlignment alignment, TTextLayout layout) {
    // A client-aligned control has its size from the parent.
    if (autoSize && (align == alNone || align == alLeft || align == alRight))
        width = text.cx + 2 * border;
    if (autoSize && (align == alNone || align == alTop || align == alBottom))
        height = text.cy + 2 * border;
    // Division truncates toward zero, so a text larger than the label starts as far outside on
    // either side.
    const int x = alignment == taLeftJustify    ? border
                  : alignment == taRightJustify ? width - border - text.cx
                                                : (width - text.cx) / 2;
    const int y = layout == tlTop      ? border
                  : layout == tlCenter ? (height - text.cy) / 2
                                       : height - border - text.cy;
    return TLabelLayout{x, y, width, height};
}

TAALabel::TAALabel(TComponent* owner, TForm* parent)
    : TAAGraphicControl(owner, parent), FEffect(*this, [this](TNotifyClass&) { Changed(); }) {
    SetBounds(Left(), Top(), 46, 12);
}

TAALabel::~TAALabel() {
    BeginDestroy();
    FEffect.OnChange = nullptr;
}

void TAALabel::SetBorder(int border) {
    border = std::max(border, 0);
    if (border == FBorder) return;
    FBorder = border;
    Changed();
}

TLabelLayout TAALabel::Layout(TCanvas& canvas) {
    canvas.Font().Assign(Font());
    const SIZE text = Engine().TextExtent(Caption());
    return LayoutLabel(text, Width(), Height(), AutoSize(), Align(), FBorder, FEffect.Alignment(),
                       FEffect.Layout());
}

void TAALabel::Reset() {
    TLabelLayout layout{};
    {
        ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
        TCanvas canvas(dc.Get());
        TEngineBinding binding(Engine(), canvas);
        layout = Layout(canvas);
    }
    // Here and not while painting: the parent clips a paint to the size it had before.
    if (layout.Width != Width() || layout.Height != Height()) ResizeTo(layout.Width, layout.Height);
    if (FEffect.Transparent())
        FBuffer.SetSize(0, 0);
    else
        RenderBuffer(layout);
    Invalidate();
}

void TAALabel::RenderBuffer(const TLabelLayout& layout) {
    if (Width() <= 0 || Height() <= 0) {
        FBuffer.SetSize(0, 0);
        return;
    }
    FBuffer.SetSize(Width(), Height());
    TBitmapDc dc(FBuffer.Handle());
    TCanvas canvas(dc.Get());
    TEngineBinding binding(Engine(), canvas);
    canvas.Font().Assign(Font());
    canvas.Brush().SetColor(Color());
    canvas.FillRect(RECT{0, 0, Width(), Height()});
    if (const auto& picture = FEffect.BackGround(); picture && !picture->Empty()) {
        for (const TPlacement& place :
             TexturePlacements(static_cast<TTextureMode>(FEffect.BackGroundMode()), Width(),
                               Height(), picture->Width(), picture->Height()))
            picture->StretchDraw(
                dc.Get(), RECT{place.X, place.Y, place.X + place.Width, place.Y + place.Height});
    }
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    Engine().DrawEffectText(layout.X, layout.Y, Caption());
}

void TAALabel::PaintCanvas(TCanvas& canvas) {
    if (!FEffect.Transparent()) {
        if (!FBuffer.Handle()) return;
        TBitmapDc dc(FBuffer.Handle());
        BitBlt(canvas.Handle(), 0, 0, Width(), Height(), dc.Get(), 0, 0, SRCCOPY);
        return;
    }
    // Drawn live onto what the parent painted beneath, so nothing here outlives this paint.
    TEngineBinding binding(Engine(), canvas);
    const TLabelLayout layout = Layout(canvas);
    canvas.Brush().SetColor(Color());
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    Engine().DrawEffectText(layout.X, layout.Y, Caption());
}
