#pragma once
// A windowless control drawn with the anti-aliased text engine. It holds its caption and font,
// becomes ready when loading ends (or at its first paint), and turns every change of what it
// shows into Changed -> Reset -> a repaint.
#include <string>

#include "framework/Canvas.h"
#include "framework/GraphicControl.h"
#include "textfx/AAText.h"

class TAAGraphicControl;

// A group of settings that forwards to the control's own properties.
class TPackParam {
public:
    explicit TPackParam(TAAGraphicControl& control) : FControl(control) {}
    TPackParam(const TPackParam&) = delete;
    TPackParam& operator=(const TPackParam&) = delete;
    TAAGraphicControl& Control() const { return FControl; }

private:
    TAAGraphicControl& FControl;
};

class TDrag : public TPackParam {
public:
    using TPackParam::TPackParam;
    TDragKind DragKind() const;
    void SetDragKind(TDragKind kind);
    int DragCursor() const;
    void SetDragCursor(int cursor);
    TDragMode DragMode() const;
    void SetDragMode(TDragMode mode);
    void Assign(const TDrag& source);
};

class TParentEffect : public TPackParam {
public:
    using TPackParam::TPackParam;
    bool ParentColor() const;
    void SetParentColor(bool value);
    bool ParentFont() const;
    void SetParentFont(bool value);
    bool ParentShowHint() const;
    void SetParentShowHint(bool value);
    void Assign(const TParentEffect& source);
};

class TAAGraphicControl : public TGraphicControl {
public:
    TAAGraphicControl(TComponent* owner, TForm* parent);
    ~TAAGraphicControl() override;

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);
    const std::wstring& Caption() const { return FCaption; }
    void SetCaption(const std::wstring& caption);
    // Its colour is the text colour.
    TFont& Font() { return FFont; }
    // Stored only: the parent has no font of its own to hand down.
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool parentFont) { FParentFont = parentFont; }
    TDrag& Drag() { return FDrag; }
    TParentEffect& ParentEffect() { return FParentEffect; }

    bool Ready() const { return FReady; }
    // Rebuilds and repaints, once the control is ready and neither loading nor going away.
    void Changed();
    void Paint(TCanvas& canvas) final;
    TFont* ScalableFont() override { return &FFont; }

protected:
    TAATextEx& Engine() { return FEngine; }
    bool Destroying() const { return FDestroying; }
    // The first step of every destructor in the chain: later notifications change nothing.
    void BeginDestroy();

    virtual void PaintCanvas(TCanvas& /*canvas*/) {}
    virtual void UpdateAfterLoad() { Changed(); }
    virtual void Reset() { Invalidate(); }

    void Loaded() override;
    void ColorChanged() override { Changed(); }
    void EnabledChanged() override { Changed(); }
    void Resized() override;
    // Resizes without the resize calling Changed again: Reset sizes the control itself.
    void ResizeTo(int width, int height);

private:
    TAATextEx FEngine;
    TDrag FDrag{*this};
    TParentEffect FParentEffect{*this};
    TFont FFont;
    std::wstring FCaption;
    bool FAutoSize = true;
    bool FParentFont = true;
    bool FReady = false;
    bool FPainting = false;
    bool FDestroying = false;
    bool FResizing = false;
    int FLastWidth = 0;
    int FLastHeight = 0;
};

// Binds an engine to a canvas for one scope: a canvas handed over for a paint lives only as
// long as that paint.
class TEngineBinding {
public:
    TEngineBinding(TAAText& engine, TCanvas& canvas) : FEngine(engine) {
        FEngine.SetCanvas(&canvas);
    }
    ~TEngineBinding() { FEngine.SetCanvas(nullptr); }
    TEngineBinding(const TEngineBinding&) = delete;
    TEngineBinding& operator=(const TEngineBinding&) = delete;

private:
    TAAText& FEngine;
};
