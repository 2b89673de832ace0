#include "widgets/AAGraphicControl.h"

namespace {
// Sets a flag for one scope and clears it however the scope ends.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};
} // namespace

TDragKind TDrag::DragKind() const {
    return Control().DragKind();
}
void TDrag::SetDragKind(TDragKind kind) {
    Control().SetDragKind(kind);
}
int TDrag::DragCursor() const {
    return Control().DragCursor();
}
void TDrag::SetDragCursor(int cursor) {
    Control().SetDragCursor(cursor);
}
TDragMode TDrag::DragMode() const {
    return Control().DragMode();
}
void TDrag::SetDragMode(TDragMode mode) {
    Control().SetDragMode(mode);
}
void TDrag::Assign(const TDrag& source) {
    SetDragKind(source.DragKind());
    SetDragCursor(source.DragCursor());
    SetDragMode(source.DragMode());
}

bool TParentEffect::ParentColor() const {
    return Control().ParentColor();
}
void TParentEffect::SetParentColor(bool value) {
    Control().SetParentColor(value);
}
bool TParentEffect::ParentFont() const {
    return Control().ParentFont();
}
void TParentEffect::SetParentFont(bool value) {
    Control().SetParentFont(value);
}
bool TParentEffect::ParentShowHint() const {
    return Control().ParentShowHint();
}
void TParentEffect::SetParentShowHint(bool value) {
    Control().SetParentShowHint(value);
}
void TParentEffect::Assign(const TParentEffect& source) {
    SetParentColor(source.ParentColor());
    SetParentFont(source.ParentFont());
    SetParentShowHint(source.ParentShowHint());
}

TAAGraphicControl::TAAGraphicControl(TComponent* owner, TForm* parent)
    : TGraphicControl(owner, parent) {
    FEngine.Effect().OnChange = [this](TNotifyClass&) { Changed(); };
    FFont.OnChange = [this] { Changed(); };
}

TAAGraphicControl::~TAAGraphicControl() {
    BeginDestroy();
}

void TAAGraphicControl::BeginDestroy() {
    FDestroying = true;
    FEngine.Effect().OnChange = nullptr;
    FFont.OnChange = nullptr;
}

void TAAGraphicControl::SetAutoSize(bool autoSize) {
    if (autoSize == FAutoSize) return;
    FAutoSize = autoSize;
    Changed();
}

void TAAGraphicControl::SetCaption(const std::wstring& caption) {
    if (caption == FCaption) return;
    FCaption = caption;
    Changed();
}

void TAAGraphicControl::Changed() {
    if (FReady && !Loading() && !FDestroying) Reset();
}

void TAAGraphicControl::Loaded() {
    FReady = true;
    UpdateAfterLoad();
}

void TAAGraphicControl::Resized() {
    if (Width() == FLastWidth && Height() == FLastHeight) return;
    FLastWidth = Width();
    FLastHeight = Height();
    if (!FResizing) Changed();
}

void TAAGraphicControl::ResizeTo(int width, int height) {
    TFlagScope resizing(FResizing);
    SetBounds(Left(), Top(), width, height);
}

void TAAGraphicControl::Paint(TCanvas& canvas) {
    if (Loading() || FDestroying || FPainting) return;
    // Ready and drawn in the same paint, so no frame goes out without the control.
    if (!FReady) {
        FReady = true;
        UpdateAfterLoad();
    }
    // Cleared however the paint ends: a paint that raised must not blank the control for ever.
    TFlagScope painting(FPainting);
    PaintCanvas(canvas);
}
